#include "FileDataDigests.h"

#include "FileDataClasses.h"

#include <algorithm>

// XXH3: several gigabytes a second on one core, also of a 32-bit machine without vector units.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

uint32_t Read32(const uint8_t* Data) {
    return uint32_t(Data[0]) | uint32_t(Data[1]) << 8 | uint32_t(Data[2]) << 16 |
           uint32_t(Data[3]) << 24;
}

} // namespace

uint64_t TFileDataDigests::Digest(const uint8_t* Data, size_t Size) {
    return XXH3_64bits(Data, Size);
}

bool TFileDataDigests::Load(const uint8_t* Record, size_t Size, size_t BlockSize) {
    FRecord = Record;
    FDamaged.clear();
    if (Size % EntrySize != 0) return false;
    FDamaged.resize(Size / EntrySize);
    uint64_t End = 0;
    for (size_t I = 0; I < Count(); ++I) {
        const TBlockRegion R = Region(I);
        if (R.Size == 0 || R.Offset < End || uint64_t(R.Offset) + R.Size > BlockSize) return false;
        End = uint64_t(R.Offset) + R.Size;
    }
    return true;
}

TBlockRegion TFileDataDigests::Region(size_t I) const {
    const uint8_t* Entry = FRecord + I * EntrySize;
    return {Read32(Entry), Read32(Entry + 4),
            uint64_t(Read32(Entry + 12)) << 32 | Read32(Entry + 8)};
}

bool TFileDataDigests::RegionIntact(size_t I, const uint8_t* Block) const {
    const TBlockRegion R = Region(I);
    return Digest(Block + R.Offset, R.Size) == R.Digest;
}

bool TFileDataDigests::AnyDamaged() const {
    return std::find(FDamaged.begin(), FDamaged.end(), 1) != FDamaged.end();
}

bool TFileDataDigests::EntryIntact(const TFileData& Entry) const {
    return RangeIntact(Entry.Offset, Entry.Bytes);
}

bool TFileDataDigests::RangeIntact(int64_t Offset, int64_t Bytes) const {
    if (Offset < 0 || Bytes < 0) return false;
    const uint64_t Start = uint64_t(Offset), End = Start + uint64_t(Bytes);
    // The first region at or after Start: regions ascend.
    size_t Low = 0, High = Count();
    while (Low < High) {
        const size_t Middle = (Low + High) / 2;
        if (Region(Middle).Offset < Start)
            Low = Middle + 1;
        else
            High = Middle;
    }
    for (uint64_t Next = Start; Next < End; ++Low) {
        if (Low == Count() || FDamaged[Low]) return false;
        const TBlockRegion R = Region(Low);
        if (R.Offset != Next) return false;
        Next += R.Size;
        if (Next > End) return false;
    }
    return true;
}
