#include "PackageContent.h"

#include "BuildError.h"
#include "ContentIds.h"
#include "FileDataClasses.h"
#include "LxFileStream.h"
#include "PackageEncoder.h"
#include "Progress.h"

#include <algorithm>
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
    std::exception_ptr FirstError;
    std::mutex ErrorLock;
    int Running = 0;
    std::mutex DoneLock;
    std::condition_variable Done;
    auto Worker = [&] {
        for (;;) {
            const size_t Slot = Next.fetch_add(1);
            if (Slot >= Count || Failed.load()) break;
            try {
                Work(Order[Slot]);
            } catch (...) {
                std::lock_guard<std::mutex> Guard(ErrorLock);
                if (!FirstError) FirstError = std::current_exception();
                Failed = true;
            }
        }
        {
            std::lock_guard<std::mutex> Guard(DoneLock);
            --Running;
        }
        Done.notify_one();
    };
    const int Threads = std::max(1, std::min<int>(Jobs, int(std::max<size_t>(Count, 1))));
    Running = Threads;
    std::vector<std::thread> Pool;
    for (int I = 0; I < Threads; ++I)
        Pool.emplace_back(Worker);
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

namespace {

struct TContentKey {
    uint64_t Size;
    uint32_t Crc;
    bool operator<(const TContentKey& Other) const {
        return Size != Other.Size ? Size < Other.Size : Crc < Other.Crc;
    }
};

constexpr size_t PieceSize = TPackageEncoder::PieceSize;

// A piece buffer per thread, never zero-filled.
uint8_t* PieceBuffer() {
    thread_local std::unique_ptr<uint8_t[]> Buffer;
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

} // namespace

TPackageContent::TPackageContent(const fs::path& Spool)
    : FSpoolFile(std::make_unique<TScratchFile>(Spool)),
      FSpool(std::make_unique<TFileStream>(FromPath(Spool), fmCreateExclusive)) {}

TPackageContent::TPackageContent(TPackageContent&&) noexcept = default;
TPackageContent::~TPackageContent() {
    FSpool.reset(); // closed before it is removed
}

uint64_t TPackageContent::BlockSize() const {
    return StoredBytes + FIndex.size();
}

void TPackageContent::WriteBlock(TByteSink Sink) const {
    uint8_t* Buffer = PieceBuffer();
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

TPackageContent EncodePackageFiles(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress, const fs::path& Spool) {
    TPackageContent Content(Spool);
    std::vector<uint64_t> Sizes;
    for (const TPackageFile& File : Files) {
        Sizes.push_back(File.Size);
        Content.PlainBytes += File.Size;
    }

    // Pass 1: a checksum per file finds identical contents without holding them.
    std::vector<uint32_t> Crcs(Files.size());
    RunParallel(
        Files.size(), Jobs, Sizes, [&](size_t I) { Crcs[I] = Crc32OfFile(Files[I]); }, nullptr);

    // The first file of each content is stored; later equal ones share its stream.
    std::map<TContentKey, std::vector<size_t>> Candidates;
    std::vector<size_t> StoredAs(Files.size());
    std::vector<size_t> Distinct;
    for (size_t I = 0; I < Files.size(); ++I) {
        StoredAs[I] = I;
        if (Files[I].Size == 0) continue;
        auto& Same = Candidates[{Files[I].Size, Crcs[I]}];
        for (size_t Earlier : Same)
            if (SameContent(Files[Earlier], Files[I])) {
                StoredAs[I] = Earlier;
                break;
            }
        if (StoredAs[I] == I) {
            Same.push_back(I);
            Distinct.push_back(I);
        }
    }

    // Pass 2: encode the distinct contents into the spool, in whatever order they finish;
    // the block takes them back in item order.
    using TExtent = TPackageContent::TExtent;
    std::vector<std::vector<TExtent>> Encoded(Files.size());
    std::mutex SpoolLock;
    auto Append = [&](std::vector<TExtent>& Extents, const uint8_t* Data, size_t Size) {
        std::lock_guard<std::mutex> Guard(SpoolLock);
        Content.FSpool->Seek(int64_t(Content.FSpoolSize), soBeginning);
        Content.FSpool->WriteBuffer(Data, int64_t(Size));
        if (!Extents.empty() && Extents.back().Offset + Extents.back().Size == Content.FSpoolSize)
            Extents.back().Size += Size;
        else
            Extents.push_back({Content.FSpoolSize, Size});
        Content.FSpoolSize += Size;
    };
    std::vector<uint64_t> DistinctSizes;
    for (size_t I : Distinct)
        DistinctSizes.push_back(Files[I].Size);
    RunParallel(
        Distinct.size(), Jobs, DistinctSizes,
        [&](size_t Slot) {
            thread_local std::unique_ptr<TPackageEncoder> Encoder;
            thread_local std::unique_ptr<uint8_t[]> Whole;
            thread_local size_t WholeCapacity = 0;
            if (!Encoder) Encoder = std::make_unique<TPackageEncoder>(Level);
            const size_t I = Distinct[Slot];
            const TPackageFile& File = Files[I];
            uint32_t Crc = uint32_t(crc32(0, nullptr, 0));
            if (File.Size > TPackageEncoder::WholeLimit) {
                TFileReader Reader(File.Source);
                uint64_t Total = 0;
                Encoder->EncodePieces(
                    [&](uint8_t* Buffer, size_t Size) {
                        const size_t Got = Reader.Read(Buffer, Size);
                        Total += Got;
                        if (Total > File.Size) RaiseChanged(File);
                        Crc = Crc32Update(Crc, Buffer, Got);
                        if (Progress) Progress->Advance(Got);
                        return Got;
                    },
                    [&](const uint8_t* Data, size_t Size) { Append(Encoded[I], Data, Size); });
                if (Total != File.Size || Crc != Crcs[I]) RaiseChanged(File);
                return;
            }
            if (File.Size > WholeCapacity) {
                Whole.reset();
                Whole = std::make_unique_for_overwrite<uint8_t[]>(size_t(File.Size));
                WholeCapacity = size_t(File.Size);
            }
            TFileReader Reader(File.Source);
            uint8_t Beyond = 0;
            if (Reader.Read(Whole.get(), size_t(File.Size)) != File.Size ||
                Reader.Read(&Beyond, 1) != 0)
                RaiseChanged(File);
            Crc = Crc32Update(Crc, Whole.get(), size_t(File.Size));
            if (Crc != Crcs[I]) RaiseChanged(File);
            const std::span<const uint8_t> Stream = Encoder->Encode(Whole.get(), size_t(File.Size));
            Append(Encoded[I], Stream.data(), Stream.size());
            if (Progress) Progress->Advance(File.Size);
        },
        Progress);

    // Layout in item order; names from each item's target path and its content.
    TFileDataList Index;
    std::vector<int64_t> Offsets(Files.size(), -1);
    uint64_t BlockBytes = 0;
    for (size_t I = 0; I < Files.size(); ++I) {
        TSetupFile& Item = *Files[I].Item;
        TSha256 Identity;
        Identity.Update(&Files[I].Size, sizeof(Files[I].Size));
        Identity.Update(&Crcs[I], sizeof(Crcs[I]));
        Item.ResID = ContentGuid("file", TargetPath(Item), Identity.Finish());
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
    return Content;
}
