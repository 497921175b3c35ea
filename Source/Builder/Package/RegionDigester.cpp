#include "RegionDigester.h"

#include <algorithm>

#define XXH_INLINE_ALL
#include <xxhash.h>

struct TRegionDigester::TState {
    XXH3_state_t Hash;
    std::vector<TBlockRegion> Done;
    uint64_t Offset = 0; // of the open region
    uint32_t Filled = 0; // bytes of the open region so far
};

TRegionDigester::TRegionDigester() : FState(std::make_unique<TState>()) {
    XXH3_64bits_reset(&FState->Hash);
}

TRegionDigester::~TRegionDigester() = default;

void TRegionDigester::Update(const uint8_t* Data, size_t Size) {
    TState& S = *FState;
    while (Size > 0) {
        const size_t Piece = std::min<size_t>(Size, TFileDataDigests::RegionSize - S.Filled);
        XXH3_64bits_update(&S.Hash, Data, Piece);
        S.Filled += uint32_t(Piece);
        Data += Piece;
        Size -= Piece;
        if (S.Filled == TFileDataDigests::RegionSize) {
            S.Done.push_back({uint32_t(S.Offset), S.Filled, XXH3_64bits_digest(&S.Hash)});
            S.Offset += S.Filled;
            S.Filled = 0;
            XXH3_64bits_reset(&S.Hash);
        }
    }
}

std::vector<TBlockRegion> TRegionDigester::Finish() {
    TState& S = *FState;
    if (S.Filled > 0) S.Done.push_back({uint32_t(S.Offset), S.Filled, XXH3_64bits_digest(&S.Hash)});
    std::vector<TBlockRegion> Regions = std::move(S.Done);
    S.Done.clear();
    S.Offset = 0;
    S.Filled = 0;
    XXH3_64bits_reset(&S.Hash);
    return Regions;
}

std::vector<uint8_t> TRegionDigester::Record(const std::vector<TBlockRegion>& Regions) {
    std::vector<uint8_t> Bytes;
    auto Put = [&](uint64_t Value, int Length) {
        for (int I = 0; I < Length; ++I)
            Bytes.push_back(uint8_t(Value >> (8 * I)));
    };
    for (const TBlockRegion& R : Regions) {
        Put(R.Offset, 4);
        Put(R.Size, 4);
        Put(R.Digest, 8);
    }
    return Bytes;
}
