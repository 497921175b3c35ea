#include "PackageContent.h"

#include "BuildError.h"
#include "ContentIds.h"
#include "FileDataClasses.h"
#include "LxFileStream.h"
#include "MySetupUtils.h"
#include "PackageEncoder.h"
#include "Progress.h"
#include "RegionDigester.h"
#include "SolidData.h"
#include "SolidEncoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>
#include <zlib.h>

#ifdef ONESETUP_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

// What a thread of the build keeps from task to task, owned by the thread's function and
// reached through a plain pointer. Not thread_local objects: the Windows runtime may free a
// thread's storage before it runs their destructors as the thread ends, and the destructors
// then read freed memory.
struct TThreadScratch {
    std::unique_ptr<uint8_t[]> Piece;
    std::unique_ptr<uint8_t[]> Input;
    size_t InputCapacity = 0;
    std::unique_ptr<TPackageEncoder> Encoder;
};
thread_local TThreadScratch* CurrentScratch = nullptr;

// Runs Worker on Threads threads while the calling thread draws the progress. A worker's error
// ends that worker and calls Stop, so that the others can leave early; the first one is raised
// again here after all threads stopped.
void RunThreads(int Threads, const std::function<void()>& Worker, const std::function<void()>& Stop,
                TProgress* Progress) {
    std::exception_ptr FirstError;
    std::mutex ErrorLock;
    int Running = Threads;
    std::mutex DoneLock;
    std::condition_variable Done;
    auto Run = [&] {
        TThreadScratch Scratch;
        CurrentScratch = &Scratch;
        try {
            Worker();
        } catch (...) {
            {
                std::lock_guard<std::mutex> Guard(ErrorLock);
                if (!FirstError) FirstError = std::current_exception();
            }
            Stop();
        }
        CurrentScratch = nullptr;
        {
            std::lock_guard<std::mutex> Guard(DoneLock);
            --Running;
        }
        Done.notify_one();
    };
    std::vector<std::thread> Pool;
    for (int I = 0; I < Threads; ++I)
        Pool.emplace_back(Run);
    // The calling thread only draws the progress between waits, which end as soon as the
    // workers do: a small build does not wait out a redraw period.
    {
        std::unique_lock<std::mutex> Lock(DoneLock);
        do {
            if (Progress) Progress->Tick();
        } while (!Done.wait_for(Lock, std::chrono::milliseconds(20), [&] { return Running == 0; }));
    }
    for (std::thread& Thread : Pool)
        Thread.join();
    if (FirstError) std::rethrow_exception(FirstError);
}

} // namespace

void RunParallel(size_t Count, int Jobs, const std::vector<uint64_t>& Sizes,
                 const std::function<void(size_t)>& Work, TProgress* Progress) {
    std::vector<size_t> Order(Count);
    std::iota(Order.begin(), Order.end(), size_t(0));
    // Largest first, so no thread is left with one big file at the end.
    if (!Sizes.empty())
        std::stable_sort(Order.begin(), Order.end(),
                         [&](size_t A, size_t B) { return Sizes[A] > Sizes[B]; });
    std::atomic<size_t> Next{0};
    std::atomic<bool> Failed{false};
    const int Threads = std::max(1, std::min<int>(Jobs, int(std::max<size_t>(Count, 1))));
    RunThreads(
        Threads,
        [&] {
            for (size_t Slot = Next.fetch_add(1); Slot < Count && !Failed.load();
                 Slot = Next.fetch_add(1))
                Work(Order[Slot]);
        },
        [&] { Failed = true; }, Progress);
}

namespace {

struct TContentKey {
    uint64_t Size;
    uint32_t Crc;
    bool operator<(const TContentKey& Other) const {
        return Size != Other.Size ? Size < Other.Size : Crc < Other.Crc;
    }
};

constexpr size_t PieceSize = TPackageEncoder::PieceSize;

// The worker thread's piece buffer, never zero-filled.
uint8_t* PieceBuffer() {
    std::unique_ptr<uint8_t[]>& Buffer = CurrentScratch->Piece;
    if (!Buffer) Buffer = std::make_unique_for_overwrite<uint8_t[]>(PieceSize);
    return Buffer.get();
}

uint32_t Crc32Update(uint32_t Crc, const uint8_t* Data, size_t Size) {
#ifdef ONESETUP_HAVE_LIBDEFLATE
    // The same checksum several times faster than zlib's.
    return libdeflate_crc32(Crc, Data, Size);
#else
    uLong Value = Crc;
    for (size_t Done = 0; Done < Size;) {
        const uInt Piece = uInt(std::min<size_t>(Size - Done, 1u << 30));
        Value = crc32(Value, Data + Done, Piece);
        Done += Piece;
    }
    return uint32_t(Value);
#endif
}

uint32_t Adler32Update(uint32_t Adler, const uint8_t* Data, size_t Size) {
#ifdef ONESETUP_HAVE_LIBDEFLATE
    return libdeflate_adler32(Adler, Data, Size);
#else
    return uint32_t(adler32(Adler, Data, uInt(Size)));
#endif
}

// The input of a thread's task, grown as needed.
uint8_t* InputBuffer(size_t Size) {
    TThreadScratch& Scratch = *CurrentScratch;
    if (Size > Scratch.InputCapacity) {
        Scratch.Input.reset();
        Scratch.Input = std::make_unique_for_overwrite<uint8_t[]>(Size);
        Scratch.InputCapacity = Size;
#ifdef _WIN32
        // Wine's ReadFile probes its buffer by reading, then writing a byte of each page: a new
        // page faults twice, the second time replacing the shared zero page on every processor.
        // Written here first, it faults once.
        std::memset(Scratch.Input.get(), 0, Size);
#endif
    }
    return Scratch.Input.get();
}

[[noreturn]] void RaiseChanged(const TPackageFile& File) {
    RaiseBuildError(DisplayPath(File.Source), u"changed while the package was built");
}

// Reads the whole file in pieces; a file that is no longer its listed size raises.
void ReadPieces(const TPackageFile& File, uint8_t* Buffer,
                TFunctionRef<void(const uint8_t*, size_t)> Piece) {
    TFileReader Reader(File.Source);
    uint64_t Total = 0;
    for (;;) {
        const size_t Got = Reader.Read(Buffer, PieceSize);
        if (Got == 0) break;
        Total += Got;
        if (Total > File.Size) RaiseChanged(File);
        Piece(Buffer, Got);
    }
    if (Total != File.Size) RaiseChanged(File);
}

uint32_t Crc32OfFile(const TPackageFile& File) {
    uint32_t Crc = uint32_t(crc32(0, nullptr, 0));
    ReadPieces(File, PieceBuffer(),
               [&](const uint8_t* Data, size_t Size) { Crc = Crc32Update(Crc, Data, Size); });
    return Crc;
}

bool SameContent(const TPackageFile& A, const TPackageFile& B) {
    if (A.Size != B.Size) return false;
    TFileReader Left(A.Source), Right(B.Source);
    const auto Buffers = std::make_unique_for_overwrite<uint8_t[]>(2 * PieceSize);
    for (uint64_t Done = 0; Done < A.Size;) {
        const size_t Want = size_t(std::min<uint64_t>(PieceSize, A.Size - Done));
        if (Left.Read(Buffers.get(), Want) != Want) RaiseChanged(A);
        if (Right.Read(Buffers.get() + PieceSize, Want) != Want) RaiseChanged(B);
        if (std::memcmp(Buffers.get(), Buffers.get() + PieceSize, Want) != 0) return false;
        Done += Want;
    }
    return true;
}

WideString TargetPath(const TSetupFile& Item) {
    const WideString& Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
    return IncludeTrailingBackslash(Item.DestDir) + Name;
}

// The contents of a package's files: a checksum per file, and which file stores each content.
struct TContents {
    std::vector<uint32_t> Crcs;
    std::vector<uint8_t> Taken;   // by pass 1; else pass 2 takes it as it reads the file
    std::vector<size_t> StoredAs; // the first file with the same content, or itself
    std::vector<size_t> Distinct; // in item order; empty files are never stored

    // File I's checksum as pass 2 read it, on one thread per file.
    void Settle(size_t I, uint32_t Crc, const TPackageFile& File) {
        if (!Taken[I])
            Crcs[I] = Crc;
        else if (Crc != Crcs[I])
            RaiseChanged(File);
    }
};

// Pass 2: the threads take the chunks of the large files in order, ahead of the whole files,
// and leave each encoded chunk in a window of slots; whoever finds the oldest one done appends
// it and those done after it. A large file so keeps every thread busy, and a thread that would
// run past the window takes a whole file or waits.
class TEncodePass {
public:
    using TAppend = std::function<void(size_t File, const uint8_t* Data, size_t Size)>;

    // Regions receives, per file, the digests of its stored stream.
    TEncodePass(const std::vector<TPackageFile>& Files, TContents& Contents, int Level,
                const TChunking& Chunking, TProgress* Progress, TAppend Append,
                std::vector<std::vector<TBlockRegion>>& Regions)
        : FFiles(Files), FContents(Contents), FLevel(Level), FProgress(Progress),
          FAppend(std::move(Append)), FRegions(Regions) {
        std::vector<size_t> Large;
        for (size_t I : Contents.Distinct)
            (Files[I].Size > Chunking.WholeLimit ? Large : FWholes).push_back(I);
        // Largest first, so no thread is left with one big file at the end.
        auto BySize = [&](size_t A, size_t B) { return Files[A].Size > Files[B].Size; };
        std::stable_sort(FWholes.begin(), FWholes.end(), BySize);
        std::stable_sort(Large.begin(), Large.end(), BySize);
        for (size_t I : Large)
            for (uint64_t Offset = 0; Offset < Files[I].Size; Offset += Chunking.ChunkSize) {
                const size_t Size =
                    size_t(std::min<uint64_t>(Chunking.ChunkSize, Files[I].Size - Offset));
                FChunks.push_back({I, Offset, Size, Offset + Size == Files[I].Size});
            }
    }

    void Run(int Jobs) {
        const size_t Tasks = FWholes.size() + FChunks.size();
        const int Threads = std::max(1, std::min<int>(Jobs, int(std::max<size_t>(Tasks, 1))));
        // Each thread's chunk and three more done early, waiting for an older one.
        FSlots.resize(std::min(FChunks.size(), size_t(Threads) * 4));
        RunThreads(
            Threads, [&] { Work(); },
            [&] {
                {
                    std::lock_guard<std::mutex> Guard(FLock);
                    FFailed = true;
                }
                FWritten.notify_all();
            },
            FProgress);
    }

private:
    struct TChunk {
        size_t File;
        uint64_t Offset;
        size_t Size;
        bool Last;
    };
    struct TSlot {
        std::vector<uint8_t> Encoded;
        size_t Length = 0;
        uint32_t Crc = 0, Adler = 0;
        bool Done = false;
    };

    const std::vector<TPackageFile>& FFiles;
    TContents& FContents;
    int FLevel;
    TProgress* FProgress;
    TAppend FAppend;
    std::vector<std::vector<TBlockRegion>>& FRegions;
    TRegionDigester FStreamDigester; // of the stream being appended
    std::vector<size_t> FWholes;     // largest first
    std::vector<TChunk> FChunks;     // in stream order, largest file first
    std::vector<TSlot> FSlots;       // chunk I waits in slot I % size
    std::mutex FLock;
    std::condition_variable FWritten;
    size_t FNextWhole = 0, FNextChunk = 0, FNextWrite = 0;
    bool FWriting = false, FFailed = false;
    // The stream being appended: its length so far and the checksums of its input.
    uint64_t FStreamBytes = 0;
    uint32_t FStreamCrc = 0, FStreamAdler = 0;

    bool ChunkFree() const {
        return FNextChunk < FChunks.size() && FNextChunk < FNextWrite + FSlots.size();
    }

    void Work() {
        for (;;) {
            std::unique_lock<std::mutex> Lock(FLock);
            FWritten.wait(Lock, [&] {
                return FFailed || ChunkFree() || FNextWhole < FWholes.size() ||
                       FNextChunk == FChunks.size();
            });
            if (FFailed) return;
            if (ChunkFree()) {
                const size_t Chunk = FNextChunk++;
                Lock.unlock();
                EncodeChunk(Chunk);
            } else if (FNextWhole < FWholes.size()) {
                const size_t File = FWholes[FNextWhole++];
                Lock.unlock();
                EncodeWhole(File);
            } else {
                return;
            }
        }
    }

    TPackageEncoder& Encoder() {
        std::unique_ptr<TPackageEncoder>& Encoder = CurrentScratch->Encoder;
        if (!Encoder) Encoder = std::make_unique<TPackageEncoder>(FLevel);
        return *Encoder;
    }

    void EncodeWhole(size_t I) {
        const TPackageFile& File = FFiles[I];
        const size_t Size = size_t(File.Size);
        uint8_t* Data = InputBuffer(Size);
        TFileReader Reader(File.Source);
        uint8_t Beyond = 0;
        if (Reader.Read(Data, Size) != Size || Reader.Read(&Beyond, 1) != 0) RaiseChanged(File);
        FContents.Settle(I, Crc32Update(uint32_t(crc32(0, nullptr, 0)), Data, Size), File);
        const std::span<const uint8_t> Stream = Encoder().Encode(Data, Size);
        TRegionDigester Digester;
        Digester.Update(Stream.data(), Stream.size());
        FRegions[I] = Digester.Finish();
        FAppend(I, Stream.data(), Stream.size());
        if (FProgress) FProgress->Advance(File.Size);
    }

    void EncodeChunk(size_t Index) {
        const TChunk& Chunk = FChunks[Index];
        const TPackageFile& File = FFiles[Chunk.File];
        const size_t Primed =
            size_t(std::min<uint64_t>(Chunk.Offset, TPackageEncoder::ChunkPriming));
        uint8_t* Data = InputBuffer(Primed + Chunk.Size);
        TFileReader Reader(File.Source);
        Reader.Seek(Chunk.Offset - Primed);
        uint8_t Beyond = 0;
        if (Reader.Read(Data, Primed + Chunk.Size) != Primed + Chunk.Size ||
            (Chunk.Last && Reader.Read(&Beyond, 1) != 0))
            RaiseChanged(File);
        // Nobody else touches the slot until it is done: the chunk a window earlier is written.
        TSlot& Slot = FSlots[Index % FSlots.size()];
        Slot.Crc = Crc32Update(uint32_t(crc32(0, nullptr, 0)), Data + Primed, Chunk.Size);
        Slot.Adler = Adler32Update(uint32_t(adler32(0, nullptr, 0)), Data + Primed, Chunk.Size);
        Slot.Length = Encoder().EncodeChunk(Data, Primed, Chunk.Size, Chunk.Last, Slot.Encoded);
        if (FProgress) FProgress->Advance(Chunk.Size);
        {
            std::lock_guard<std::mutex> Guard(FLock);
            Slot.Done = true;
            if (FWriting) return;
            FWriting = true;
        }
        WriteDone();
    }

    // Appends the done chunks from the oldest on, one thread at a time.
    void WriteDone() {
        for (;;) {
            size_t Index;
            {
                std::lock_guard<std::mutex> Guard(FLock);
                Index = FNextWrite;
                if (Index == FChunks.size() || !FSlots[Index % FSlots.size()].Done) {
                    FWriting = false;
                    return;
                }
            }
            const TChunk& Chunk = FChunks[Index];
            TSlot& Slot = FSlots[Index % FSlots.size()];
            if (Chunk.Offset == 0) {
                FStreamBytes = 0;
                FStreamCrc = uint32_t(crc32(0, nullptr, 0));
                FStreamAdler = uint32_t(adler32(0, nullptr, 0));
                std::array<uint8_t, 2> Head = TPackageEncoder::StreamHead();
                Emit(Chunk.File, Head.data(), Head.size());
            }
            Emit(Chunk.File, Slot.Encoded.data(), Slot.Length);
            FStreamCrc = uint32_t(crc32_combine(FStreamCrc, Slot.Crc, z_off_t(Chunk.Size)));
            FStreamAdler = uint32_t(adler32_combine(FStreamAdler, Slot.Adler, z_off_t(Chunk.Size)));
            if (Chunk.Last) {
                FContents.Settle(Chunk.File, FStreamCrc, FFiles[Chunk.File]);
                std::array<uint8_t, 4> Tail = TPackageEncoder::StreamTail(FStreamAdler);
                Emit(Chunk.File, Tail.data(), Tail.size());
                FRegions[Chunk.File] = FStreamDigester.Finish();
            }
            {
                std::lock_guard<std::mutex> Guard(FLock);
                Slot.Done = false;
                ++FNextWrite;
            }
            FWritten.notify_all();
        }
    }

    // The key depends on the offset in the stream, so chunks are scrambled as they are appended.
    void Emit(size_t File, uint8_t* Data, size_t Size) {
        TSetupfn::ScrambleBytes(Data, Size, FStreamBytes);
        FStreamBytes += Size;
        FStreamDigester.Update(Data, Size);
        FAppend(File, Data, Size);
    }
};

} // namespace

TPackageContent::TPackageContent(const fs::path& Spool)
    : FSpoolFile(std::make_unique<TScratchFile>(Spool)),
      FSpool(std::make_unique<TFileStream>(FromPath(Spool), fmCreateExclusive)) {}

TPackageContent::TPackageContent(TPackageContent&&) noexcept = default;
TPackageContent::~TPackageContent() {
    FSpool.reset(); // closed before it is removed
}

std::vector<uint8_t> TPackageContent::DigestRecord() const {
    return TRegionDigester::Record(FRegions);
}

uint64_t TPackageContent::BlockSize() const {
    return StoredBytes + FIndex.size();
}

void TPackageContent::WriteBlock(TByteSink Sink) const {
    const auto Owned = std::make_unique_for_overwrite<uint8_t[]>(PieceSize);
    uint8_t* Buffer = Owned.get();
    for (const std::vector<TExtent>& Stream : FStreams)
        for (const TExtent& Extent : Stream) {
            FSpool->Seek(int64_t(Extent.Offset), soBeginning);
            for (uint64_t Done = 0; Done < Extent.Size;) {
                const size_t Piece = size_t(std::min<uint64_t>(PieceSize, Extent.Size - Done));
                FSpool->ReadBuffer(Buffer, int64_t(Piece));
                Sink(Buffer, Piece);
                Done += Piece;
            }
        }
    Sink(FIndex.data(), FIndex.size());
}

namespace {

// Pass 1: a checksum of every file whose size another file shares finds identical contents
// without holding them. A file of a size of its own has no copy: pass 2 takes its checksum as
// it reads it, so that it is read once (reading is much of the builder's time under Wine).
TContents FindContents(const std::vector<TPackageFile>& Files, int Jobs) {
    TContents C;
    std::map<uint64_t, size_t> SameSize;
    for (const TPackageFile& File : Files)
        ++SameSize[File.Size];
    std::vector<size_t> Shared;
    std::vector<uint64_t> Sizes;
    C.Crcs.assign(Files.size(), uint32_t(crc32(0, nullptr, 0)));
    C.Taken.assign(Files.size(), 1);
    for (size_t I = 0; I < Files.size(); ++I) {
        if (Files[I].Size == 0) continue;
        if (SameSize[Files[I].Size] == 1) {
            C.Taken[I] = 0;
            continue;
        }
        Shared.push_back(I);
        Sizes.push_back(Files[I].Size);
    }
    RunParallel(
        Shared.size(), Jobs, Sizes,
        [&](size_t S) { C.Crcs[Shared[S]] = Crc32OfFile(Files[Shared[S]]); }, nullptr);
    std::map<TContentKey, std::vector<size_t>> Candidates;
    C.StoredAs.resize(Files.size());
    for (size_t I = 0; I < Files.size(); ++I) {
        C.StoredAs[I] = I;
        if (Files[I].Size == 0) continue;
        if (!C.Taken[I]) {
            C.Distinct.push_back(I);
            continue;
        }
        auto& Same = Candidates[{Files[I].Size, C.Crcs[I]}];
        for (size_t Earlier : Same)
            if (SameContent(Files[Earlier], Files[I])) {
                C.StoredAs[I] = Earlier;
                break;
            }
        if (C.StoredAs[I] == I) {
            Same.push_back(I);
            C.Distinct.push_back(I);
        }
    }
    return C;
}

// The item's resource name: from its target path and its content.
void NameItem(const TPackageFile& File, uint32_t Crc) {
    TSha256 Identity;
    Identity.Update(&File.Size, sizeof(File.Size));
    Identity.Update(&Crc, sizeof(Crc));
    File.Item->ResID = ContentGuid("file", TargetPath(*File.Item), Identity.Finish());
}

// The regions of Data, appended to Regions at Offset.
void AddRegions(std::vector<TBlockRegion>& Regions, const uint8_t* Data, size_t Size,
                uint64_t Offset) {
    TRegionDigester Digester;
    Digester.Update(Data, Size);
    for (TBlockRegion Region : Digester.Finish()) {
        Region.Offset += uint32_t(Offset);
        Regions.push_back(Region);
    }
}

} // namespace

TPackageContent EncodePackageFiles(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress, const fs::path& Spool,
                                   const TChunking& Chunking) {
    TPackageContent Content(Spool);
    for (const TPackageFile& File : Files)
        Content.PlainBytes += File.Size;
    TContents Found = FindContents(Files, Jobs);
    const std::vector<uint32_t>& Crcs = Found.Crcs;
    const std::vector<size_t>& StoredAs = Found.StoredAs;

    // Pass 2: encode the distinct contents into the spool, in whatever order they finish;
    // the block takes them back in item order.
    using TExtent = TPackageContent::TExtent;
    std::vector<std::vector<TExtent>> Encoded(Files.size());
    std::mutex SpoolLock;
    auto Append = [&](size_t File, const uint8_t* Data, size_t Size) {
        std::vector<TExtent>& Extents = Encoded[File];
        std::lock_guard<std::mutex> Guard(SpoolLock);
        Content.FSpool->Seek(int64_t(Content.FSpoolSize), soBeginning);
        Content.FSpool->WriteBuffer(Data, int64_t(Size));
        if (!Extents.empty() && Extents.back().Offset + Extents.back().Size == Content.FSpoolSize)
            Extents.back().Size += Size;
        else
            Extents.push_back({Content.FSpoolSize, Size});
        Content.FSpoolSize += Size;
    };
    std::vector<std::vector<TBlockRegion>> Regions(Files.size());
    TEncodePass(Files, Found, Level, Chunking, Progress, Append, Regions).Run(Jobs);

    // Layout in item order; names from each item's target path and its content.
    TFileDataList Index;
    std::vector<int64_t> Offsets(Files.size(), -1);
    uint64_t BlockBytes = 0;
    for (size_t I = 0; I < Files.size(); ++I) {
        TSetupFile& Item = *Files[I].Item;
        NameItem(Files[I], Crcs[I]);
        if (Files[I].Size == 0) continue;
        const size_t Stored = StoredAs[I];
        uint64_t Length = 0;
        for (const TExtent& Extent : Encoded[Stored])
            Length += Extent.Size;
        if (Offsets[Stored] < 0) {
            Offsets[Stored] = int64_t(BlockBytes);
            BlockBytes += Length;
            Content.StoredBytes += Length;
            ++Content.DistinctContents;
            Content.FStreams.push_back(Encoded[Stored]);
            for (TBlockRegion Region : Regions[Stored]) {
                Region.Offset += uint32_t(Offsets[Stored]);
                Content.FRegions.push_back(Region);
            }
            if (BlockBytes > uint64_t(INT32_MAX))
                RaiseBuildError(DisplayPath(Files[I].Source),
                                u"brings the file data to 2 GiB or more, the limit of the package "
                                u"format");
        }
        auto Entry = std::make_unique<TFileData>();
        Entry->GUID = Item.ResID;
        Entry->Offset = int32_t(Offsets[Stored]);
        Entry->Bytes = int32_t(Length);
        Index.Add(std::move(Entry));
    }
    Index.AppendIndexTo(Content.FIndex);
    if (Content.BlockSize() > uint64_t(INT32_MAX))
        throw EBuildError(u"the file data reaches 2 GiB, the limit of the package format");
    AddRegions(Content.FRegions, Content.FIndex.data(), Content.FIndex.size(), BlockBytes);
    return Content;
}

TPackageContent EncodeSolidPackage(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress, const fs::path& Spool,
                                   const TSolidLayout& Layout) {
    TPackageContent Content(Spool);
    Content.Solid = true;
    for (const TPackageFile& File : Files)
        Content.PlainBytes += File.Size;
    TContents Found = FindContents(Files, Jobs);

    // Blocks of whole files in item order, so that the installer decodes them in about the
    // order it puts them in place; each about Target bytes, a larger file a block of its own.
    // Enough of them that every core of the installer has one.
    uint64_t Stored = 0;
    for (size_t I : Found.Distinct)
        Stored += Files[I].Size;
    const uint64_t Target = std::clamp<uint64_t>((Stored + Layout.Blocks - 1) / Layout.Blocks,
                                                 Layout.MinBlock, Layout.MaxBlock);
    struct TBlock {
        std::vector<size_t> Files;
        uint64_t PlainBytes = 0;
        uint64_t SpoolOffset = 0;
        uint64_t FrameBytes = 0;
        std::vector<TBlockRegion> Regions; // from the frame's start
    };
    std::vector<TBlock> Blocks;
    std::vector<std::pair<int32_t, uint64_t>> Place(Files.size()); // block and offset in it
    for (size_t I : Found.Distinct) {
        if (Blocks.empty() || Blocks.back().PlainBytes >= Target ||
            Blocks.back().Files.size() >= Layout.MaxFiles)
            Blocks.emplace_back();
        Place[I] = {int32_t(Blocks.size() - 1), Blocks.back().PlainBytes};
        Blocks.back().Files.push_back(I);
        Blocks.back().PlainBytes += Files[I].Size;
    }

    // Each block compressed whole on one thread, so that the bytes do not depend on the
    // threads; no more threads than the build's memory allows.
    const uint64_t PerThread = std::max<uint64_t>(1, TSolidEncoder::MemoryPerThread(Level));
    const int Threads =
        int(std::clamp<uint64_t>(Layout.MemoryBudget / PerThread, 1, uint64_t(std::max(Jobs, 1))));
    std::vector<uint64_t> Sizes;
    for (const TBlock& Block : Blocks)
        Sizes.push_back(Block.PlainBytes);
    std::mutex SpoolLock;
    RunParallel(
        Blocks.size(), Threads, Sizes,
        [&](size_t B) {
            TBlock& Block = Blocks[B];
            TSolidEncoder Encoder(Level);
            Encoder.Begin(Block.PlainBytes);
            uint8_t* Buffer = PieceBuffer();
            for (size_t I : Block.Files) {
                uint32_t Crc = uint32_t(crc32(0, nullptr, 0));
                ReadPieces(Files[I], Buffer, [&](const uint8_t* Data, size_t Size) {
                    Crc = Crc32Update(Crc, Data, Size);
                    Encoder.Add(Data, Size);
                    if (Progress) Progress->Advance(Size);
                });
                Found.Settle(I, Crc, Files[I]);
            }
            Encoder.End();
            const std::vector<uint8_t>& Frame = Encoder.Frame();
            AddRegions(Block.Regions, Frame.data(), Frame.size(), 0);
            std::lock_guard<std::mutex> Guard(SpoolLock);
            Block.SpoolOffset = Content.FSpoolSize;
            Block.FrameBytes = Frame.size();
            Content.FSpool->Seek(int64_t(Content.FSpoolSize), soBeginning);
            Content.FSpool->WriteBuffer(Frame.data(), int64_t(Frame.size()));
            Content.FSpoolSize += Frame.size();
        },
        Progress);

    // The frames in block order, then the index.
    TSolidIndex Index;
    uint64_t At = 0;
    for (TBlock& Block : Blocks) {
        Index.Blocks.push_back({uint32_t(At), uint32_t(Block.FrameBytes), Block.PlainBytes});
        Content.FStreams.push_back({{Block.SpoolOffset, Block.FrameBytes}});
        for (TBlockRegion Region : Block.Regions) {
            Region.Offset += uint32_t(At);
            Content.FRegions.push_back(Region);
        }
        At += Block.FrameBytes;
        if (At > uint64_t(INT32_MAX))
            throw EBuildError(u"the file data reaches 2 GiB, the limit of the package format");
    }
    Content.StoredBytes = At;
    Content.DistinctContents = int(Found.Distinct.size());
    for (size_t I = 0; I < Files.size(); ++I) {
        NameItem(Files[I], Found.Crcs[I]);
        if (Files[I].Size == 0) continue;
        Index.Files.push_back({Files[I].Item->ResID, uint32_t(Place[Found.StoredAs[I]].first),
                               Place[Found.StoredAs[I]].second, Files[I].Size});
    }
    AppendSolidIndex(Index, Content.FIndex);
    if (Content.BlockSize() > uint64_t(INT32_MAX))
        throw EBuildError(u"the file data reaches 2 GiB, the limit of the package format");
    AddRegions(Content.FRegions, Content.FIndex.data(), Content.FIndex.size(), At);
    return Content;
}
