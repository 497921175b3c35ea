#pragma once

#include "FileDataDigests.h"
#include "LxSysUtils.h"
#include "PackageEncoder.h"
#include "ProjectFiles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TFileStream;
class TProgress;

// Files larger than WholeLimit are encoded in chunks of ChunkSize: smaller in tests.
struct TChunking {
    uint64_t WholeLimit = TPackageEncoder::WholeLimit;
    size_t ChunkSize = TPackageEncoder::ChunkSize;
};

// How solid data is cut into blocks; smaller in tests.
struct TSolidLayout {
    uint64_t Blocks = 4; // at least this many, where the files allow: a block for each core
    uint64_t MinBlock = uint64_t(4) << 20;
    uint64_t MaxBlock = uint64_t(64) << 20;
    size_t MaxFiles = 512; // what the installer may decode ahead of the window in one block
    uint64_t MemoryBudget = uint64_t(384) << 20; // of the compressing threads together
};

// The encoded files wait in a scratch file beside the output until the installer is written:
// a build holds no more than its threads' pieces, whatever the package's size.
class TPackageContent {
public:
    TPackageContent(TPackageContent&&) noexcept;
    ~TPackageContent();

    uint64_t PlainBytes = 0;
    uint64_t StoredBytes = 0; // encoded bytes of the distinct contents
    int DistinctContents = 0;
    bool Solid = false; // zstd blocks (the solid data resource), or one zlib stream per file

    // The file-data block: the streams in item order, the index and its length.
    uint64_t BlockSize() const;
    void WriteBlock(TByteSink Sink) const;
    // The block's digest record: every stream and the index, in regions.
    std::vector<uint8_t> DigestRecord() const;

private:
    friend TPackageContent EncodePackageFiles(std::vector<TPackageFile>&, int, int, TProgress*,
                                              const fs::path&, const TChunking&);
    friend TPackageContent EncodeSolidPackage(std::vector<TPackageFile>&, int, int, TProgress*,
                                              const fs::path&, const TSolidLayout&);
    struct TExtent {
        uint64_t Offset, Size;
    };
    explicit TPackageContent(const fs::path& Spool);
    std::unique_ptr<TScratchFile> FSpoolFile;
    std::unique_ptr<TFileStream> FSpool;
    uint64_t FSpoolSize = 0;
    std::vector<std::vector<TExtent>> FStreams; // in block order
    std::vector<uint8_t> FIndex;                // encoded, with its length
    std::vector<TBlockRegion> FRegions;         // in block order
};

// Reads every file, stores each distinct content once (encoded on all Jobs threads into the
// scratch file Spool), gives every item its ResID and lays out the file-data block.
TPackageContent EncodePackageFiles(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress, const fs::path& Spool,
                                   const TChunking& Chunking = {});

// The same as solid data: the distinct contents in item order, cut into blocks of whole files,
// each one zstd frame (level 1 to 22) compressed on its own thread.
TPackageContent EncodeSolidPackage(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress, const fs::path& Spool,
                                   const TSolidLayout& Layout = {});

// Runs Work(I) for I in [0, Count) on Jobs threads, biggest first when Sizes are given; the
// first error raised by any task is raised again here after all threads stopped.
void RunParallel(size_t Count, int Jobs, const std::vector<uint64_t>& Sizes,
                 const std::function<void(size_t)>& Work, TProgress* Progress);
