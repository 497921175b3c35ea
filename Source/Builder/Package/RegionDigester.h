#pragma once

#include "FileDataDigests.h"

#include <memory>

// Cuts bytes that arrive in order into regions of at most TFileDataDigests::RegionSize and
// digests each; offsets count from the first byte given.
class TRegionDigester {
public:
    TRegionDigester();
    ~TRegionDigester();
    TRegionDigester(const TRegionDigester&) = delete;
    TRegionDigester& operator=(const TRegionDigester&) = delete;

    void Update(const uint8_t* Data, size_t Size);
    // Closes the last region and returns them all; the digester starts again at offset 0.
    std::vector<TBlockRegion> Finish();

    // The record of regions in block order.
    static std::vector<uint8_t> Record(const std::vector<TBlockRegion>& Regions);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};
