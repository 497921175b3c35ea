#pragma once

// The file step's writing: each file decoded from the package's memory into a temporary file
// beside its target, in bounded pieces, and put in place only once complete. Worker threads
// decode ahead of the user-interface thread, which puts the files in place in list order: what
// the user sees and what a stop leaves behind are those of one file after the other.
#include "LxProcessExit.h"
#include "LxThreads.h"
#include "LxTypes.h"

#include <atomic>
#include <memory>
#include <vector>

class TSetupFile;
class TFileData;
class TPackageDecoder;

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
// Replaces Target with Part; EFCreateError when the target is in use.
void PutInPlace(TLxTemporaryFile& Part, const WideString& Target);

struct TFileJob {
    const TSetupFile* Item;
    const TFileData* Entry;
    WideString Target;
};

enum class TFileOutcome { Pending, Decoded, Failed, Damaged };

class TFileWorkers {
public:
    // Starts up to Count workers over Jobs, which must outlive them.
    TFileWorkers(const std::vector<TFileJob>& Jobs, int Count);
    // Stops them.
    ~TFileWorkers();
    TFileWorkers(const TFileWorkers&) = delete;
    TFileWorkers& operator=(const TFileWorkers&) = delete;

    // Job I's outcome, once it has one (the window keeps painting meanwhile): its decoded file,
    // or the reason of a failure.
    TFileOutcome Wait(size_t I, std::unique_ptr<TLxTemporaryFile>& Part, WideString& Reason);
    // Whether job I has its outcome, without waiting.
    bool Ready(size_t I);
    // No job is taken any more, a file being decoded is removed; returns when every worker has
    // stopped. Decoded files that were not taken go at the latest when the program ends.
    void Stop();

    // How many workers the step uses for Jobs files: one per processor, at most eight, or what
    // ONESETUP_FILE_WORKERS says (1 writes every file on the user-interface thread).
    static int CountFor(size_t Jobs);

private:
    void Work();

    struct TResult {
        TFileOutcome Outcome = TFileOutcome::Pending;
        std::unique_ptr<TLxTemporaryFile> Part;
        WideString Reason;
    };
    // How many files the workers may be ahead of the window thread.
    static constexpr size_t Ahead = 64;
    const std::vector<TFileJob>& FJobs;
    std::vector<TResult> FResults;
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
};
