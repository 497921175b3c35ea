#include "PackageContent.h"

#include "BuildError.h"
#include "ContentIds.h"
#include "FileDataClasses.h"
#include "PackageEncoder.h"
#include "Progress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>
#include <zlib.h>

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

uint32_t Crc32Of(const std::vector<uint8_t>& Bytes) {
    uLong Crc = crc32(0, nullptr, 0);
    for (size_t Done = 0; Done < Bytes.size();) {
        const uInt Piece = uInt(std::min<size_t>(Bytes.size() - Done, 1u << 30));
        Crc = crc32(Crc, Bytes.data() + Done, Piece);
        Done += Piece;
    }
    return uint32_t(Crc);
}

WideString TargetPath(const TSetupFile& Item) {
    const WideString& Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
    return IncludeTrailingBackslash(Item.DestDir) + Name;
}

} // namespace

TPackageContent EncodePackageFiles(std::vector<TPackageFile>& Files, int Jobs, int Level,
                                   TProgress* Progress) {
    TPackageContent Content;
    std::vector<uint64_t> Sizes;
    for (const TPackageFile& File : Files) {
        Sizes.push_back(File.Size);
        Content.PlainBytes += File.Size;
    }

    // Pass 1: a checksum per file finds identical contents without holding them all.
    std::vector<uint32_t> Crcs(Files.size());
    RunParallel(
        Files.size(), Jobs, Sizes,
        [&](size_t I) {
            const std::vector<uint8_t> Bytes = ReadWholeFile(Files[I].Source);
            if (Bytes.size() != Files[I].Size)
                RaiseBuildError(DisplayPath(Files[I].Source),
                                u"changed while the package was built");
            Crcs[I] = Crc32Of(Bytes);
        },
        nullptr);

    // The first file of each content is stored; later equal ones share its stream.
    std::map<TContentKey, std::vector<size_t>> Candidates;
    std::vector<size_t> StoredAs(Files.size());
    std::vector<size_t> Distinct;
    for (size_t I = 0; I < Files.size(); ++I) {
        StoredAs[I] = I;
        if (Files[I].Size == 0) continue;
        auto& Same = Candidates[{Files[I].Size, Crcs[I]}];
        for (size_t Earlier : Same)
            if (ReadWholeFile(Files[Earlier].Source) == ReadWholeFile(Files[I].Source)) {
                StoredAs[I] = Earlier;
                break;
            }
        if (StoredAs[I] == I) {
            Same.push_back(I);
            Distinct.push_back(I);
        }
    }

    // Pass 2: encode the distinct contents.
    std::vector<std::vector<uint8_t>> Encoded(Files.size());
    std::vector<uint64_t> DistinctSizes;
    for (size_t I : Distinct)
        DistinctSizes.push_back(Files[I].Size);
    RunParallel(
        Distinct.size(), Jobs, DistinctSizes,
        [&](size_t Slot) {
            thread_local std::unique_ptr<TPackageEncoder> Encoder;
            if (!Encoder) Encoder = std::make_unique<TPackageEncoder>(Level);
            const size_t I = Distinct[Slot];
            const std::vector<uint8_t> Bytes = ReadWholeFile(Files[I].Source);
            if (Bytes.size() != Files[I].Size || Crc32Of(Bytes) != Crcs[I])
                RaiseBuildError(DisplayPath(Files[I].Source),
                                u"changed while the package was built");
            Encoded[I] = Encoder->Encode(Bytes.data(), Bytes.size());
            if (Progress) Progress->Advance(Bytes.size());
        },
        Progress);

    // Layout in item order; names from each item's target path and its content.
    TFileDataList Index;
    std::vector<int64_t> Offsets(Files.size(), -1);
    std::vector<uint8_t>& Block = Content.FileBlock;
    for (size_t I = 0; I < Files.size(); ++I) {
        TSetupFile& Item = *Files[I].Item;
        TSha256 Identity;
        Identity.Update(&Files[I].Size, sizeof(Files[I].Size));
        Identity.Update(&Crcs[I], sizeof(Crcs[I]));
        Item.ResID = ContentGuid("file", TargetPath(Item), Identity.Finish());
        if (Files[I].Size == 0) continue;
        const size_t Stored = StoredAs[I];
        if (Offsets[Stored] < 0) {
            Offsets[Stored] = int64_t(Block.size());
            Block.insert(Block.end(), Encoded[Stored].begin(), Encoded[Stored].end());
            Content.StoredBytes += Encoded[Stored].size();
            ++Content.DistinctContents;
            if (Block.size() > size_t(INT32_MAX))
                RaiseBuildError(DisplayPath(Files[I].Source),
                                u"brings the file data to 2 GiB or more, the limit of the package "
                                u"format");
        }
        auto Entry = std::make_unique<TFileData>();
        Entry->GUID = Item.ResID;
        Entry->Offset = int32_t(Offsets[Stored]);
        Entry->Bytes = int32_t(Encoded[Stored].size());
        Index.Add(std::move(Entry));
    }
    Encoded.clear();
    Index.AppendIndexTo(Block);
    if (Block.size() > size_t(INT32_MAX))
        throw EBuildError(u"the file data reaches 2 GiB, the limit of the package format");
    return Content;
}
