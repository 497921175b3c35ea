#pragma once

// What Windows reports about an image's resources, computed from TPeImage: resource_probe
// prints the same lines from the system's own resource functions, so comparing the two checks
// the writer against the loader.

#include "Pe/PeImage.h"

#include <string>
#include <vector>

uint64_t Fnv1a64(const std::vector<uint8_t>& Data);

// One line per resource in directory order, "TYPE NAME LANG SIZE FNV1A64", then the product
// name and file version of the version resource, then the stored and computed checksums.
std::string ResourceListing(const TPeImage& Image);

// The resources StubRebuild adds, so that the native tests rebuild the very same image.
std::vector<uint8_t> RebuildForProbe(const TPeImage& Image, const std::vector<uint8_t>& Png);

// One block of a version resource, as VerQueryValue walks it.
struct TVersionBlock {
    uint16_t Length = 0;
    uint16_t ValueLength = 0;
    uint16_t Type = 0;
    WideString Key;
    std::vector<uint8_t> Value;
    std::vector<TVersionBlock> Children;

    const TVersionBlock* Child(WideStringView ChildKey) const;
    WideString Text() const; // a text value without its terminating zero
};

// Parses Data[Offset, Offset + length) strictly (lengths, alignment, terminators); raises
// std::runtime_error on anything a reader would have to guess about.
TVersionBlock ParseVersionBlock(const std::vector<uint8_t>& Data, size_t Offset = 0);
