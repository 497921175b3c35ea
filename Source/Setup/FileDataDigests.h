#pragma once

// The file data's digest record: the stored bytes of the file-data block cut into regions, each
// with its digest. It lets the installer know, before it changes anything on the machine, that
// every byte it will decode is as the builder wrote it: hashing the mapped block costs a small
// part of decoding it. A resource of its own, so that the block keeps its format and a package
// without the record installs as before.
#include "LxTypes.h"

#include <cstdint>
#include <vector>

inline constexpr WideStringView FileDataDigestsResName = u"{3F7A2C91-D84E-4B05-9E16-C0B75A8D2F43}";

class TFileData;

struct TBlockRegion {
    uint32_t Offset = 0;
    uint32_t Size = 0;
    uint64_t Digest = 0;
};

// The record as the installer reads it, in place.
class TFileDataDigests {
public:
    // Regions are at most this long, so that every thread has a share of a large file.
    static constexpr uint32_t RegionSize = 1u << 20;
    // Each region is 16 bytes, little-endian: offset, size, then the 64-bit digest.
    static constexpr size_t EntrySize = 16;

    static uint64_t Digest(const uint8_t* Data, size_t Size);

    // Takes a record (which must outlive this object) for a block of BlockSize bytes; false for
    // one that is not whole entries, or whose regions are empty, overlap, go backwards or leave
    // the block.
    bool Load(const uint8_t* Record, size_t Size, size_t BlockSize);

    size_t Count() const { return FDamaged.size(); }
    TBlockRegion Region(size_t I) const;
    bool RegionIntact(size_t I, const uint8_t* Block) const;
    // Marks region I found damaged; several threads may mark different regions.
    void MarkDamaged(size_t I) { FDamaged[I] = 1; }
    bool AnyDamaged() const;
    // Whether the entry's bytes are exactly a run of adjacent regions none of which is marked:
    // an entry that the record does not describe counts as damaged.
    bool EntryIntact(const TFileData& Entry) const;
    // The same for any range of the block, such as a solid block's frame.
    bool RangeIntact(int64_t Offset, int64_t Bytes) const;

private:
    const uint8_t* FRecord = nullptr;
    std::vector<uint8_t> FDamaged;
};
