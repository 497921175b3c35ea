#pragma once

// The file step's writing: each file decoded from the package's memory into a temporary file
// beside its target, in bounded pieces, and put in place only once complete. Worker threads
// decode ahead of the user-interface thread, which puts the files in place in list order: what
// the user sees and what a stop leaves behind are those of one file after the other.
#include "LxExceptions.h"
#include "LxProcessExit.h"
#include "LxThreads.h"
#include "LxTypes.h"

#include <atomic>
#include <memory>
#include <vector>

class TSetupFile;
class TFileData;
class TPackageDecoder;
class TSolidFile;
class TSolidIndex;
class TSolidDecoder;

// A damaged package is not a failure the user can retry: it ends the installation.
struct EPackageDamaged {};
// The installation's error for a file whose stored bytes are damaged.
[[noreturn]] void ThrowDamaged(const WideString& Target);

// The file decoded into a temporary file beside Target, with its times, left open. Throws the
// failure's Exception, or EPackageDamaged. KnownFolder: a folder made or found by an earlier file,
// not looked up again; Decoder: the calling thread's. Stop, when set, abandons the file
// (TFileStopped).
struct TFileStopped {};
std::unique_ptr<TLxTemporaryFile> DecodeBeside(const TSetupFile& Item, const TFileData* Entry,
                                               const WideString& Target, WideString& KnownFolder,
                                               TPackageDecoder& Decoder,
                                               const std::atomic<bool>* Stop = nullptr);
// The same for a file of a solid package: its block decoded from the start with Decoder (the
// calling thread's; unused for a file of no bytes), its range written.
std::unique_ptr<TLxTemporaryFile>
DecodeSolidBeside(const TSetupFile& Item, const TSolidFile* Entry, const TSolidIndex& Index,
                  const WideString& Target, WideString& KnownFolder, TSolidDecoder* Decoder);
// Replaces Target with Part; EFCreateError when the target is in use.
void PutInPlace(TLxTemporaryFile& Part, const WideString& Target);

struct TFileJob {
    const TSetupFile* Item;
    const TFileData* Entry; // its zlib stream; null in a solid package
    WideString Target;
    const TSolidFile* Solid = nullptr; // its range of a solid block
};

// What the user is told of a file that failed, and the system's error code behind it (0: none).
struct TFileFailure {
    WideString Reason;
    uint32_t Error = 0;
    TFileFailure() = default;
    explicit TFileFailure(const Exception& Failed)
        : Reason(Failed.Message()), Error(Failed.SystemError()) {}
};

enum class TFileOutcome { Pending, Decoded, Failed, Damaged };

class TFileWorkers {
public:
    // Starts up to Count workers over Jobs, which must outlive them. With the index of a solid
    // package, each worker decodes a block whole, its files as they pass.
    TFileWorkers(const std::vector<TFileJob>& Jobs, int Count, const TSolidIndex* Solid = nullptr);
    // Stops them.
    ~TFileWorkers();
    TFileWorkers(const TFileWorkers&) = delete;
    TFileWorkers& operator=(const TFileWorkers&) = delete;

    // Job I's outcome, once it has one (the window keeps painting meanwhile): its decoded file,
    // or the reason of a failure.
    TFileOutcome Wait(size_t I, std::unique_ptr<TLxTemporaryFile>& Part, TFileFailure& Failure);
    // Whether job I has its outcome, without waiting.
    bool Ready(size_t I);
    // No job is taken any more, a file being decoded is removed; returns when every worker has
    // stopped. Decoded files that were not taken go at the latest when the program ends.
    void Stop();

    // How many workers the step uses for Jobs files: one per processor, at most eight, or what
    // ONESETUP_FILE_WORKERS says (1 writes every file on the user-interface thread).
    static int CountFor(size_t Jobs);
    // Solid blocks decode only on workers (one at least), at most three at once: each holds a
    // decoder's window of 16 MiB.
    static int SolidCountFor(size_t Blocks);

private:
    // A solid block, or a file without one, in the order of its first file.
    struct TUnit {
        size_t First;
        int Block;                // -1: the single file of Jobs
        std::vector<size_t> Jobs; // by their offset in the block
    };
    void Work();
    void WorkSolid();
    void DecodeBlock(const TUnit& Unit, TSolidDecoder& Decoder, WideString& KnownFolder);

    struct TResult {
        TFileOutcome Outcome = TFileOutcome::Pending;
        std::unique_ptr<TLxTemporaryFile> Part;
        TFileFailure Failure;
    };
    // How many files the workers may be ahead of the window thread.
    static constexpr size_t Ahead = 64;
    // For solid data, and the bytes of the files in between: two of the builder's largest blocks
    // (TSolidLayout), so that three workers decode three blocks at once.
    static constexpr size_t SolidAhead = 1024;
    static constexpr uint64_t SolidAheadBytes = uint64_t(128) << 20;
    // Whether a worker may begin job I, under FLock.
    bool Near(size_t I) const;
    const std::vector<TFileJob>& FJobs;
    std::vector<TResult> FResults;
    const TSolidIndex* FSolid;
    std::vector<uint64_t> FBytesBefore; // of the jobs before each
    std::vector<TUnit> FUnits;
    size_t FNextUnit = 0;
    // Under FLock: the next job to take, the job the window thread is at, and whether it waits
    // for it.
    size_t FNext = 0;
    size_t FCurrent = 0;
    bool FWindowWaits = false;
    TLxLock FLock;
    TLxSignal FDone;
    TLxCondition FRoom;
    std::atomic<bool> FStop{false};
    TLxWorkers FWorkers;
    // Job I's result, and a wake for the window when it waits for it.
    void Publish(size_t I, TResult Result);
};
