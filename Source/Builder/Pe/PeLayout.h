#pragma once

// What the reader and the writer of PeImage share: field offsets and little-endian access.

#include "PeResources.h"

#include <cstddef>
#include <cstdint>

namespace PeLayout {

constexpr uint32_t ResourceDirectory = 2;
constexpr uint32_t SecurityDirectory = 4;
constexpr uint32_t HighBit = 0x80000000u;

// Offsets inside the optional header, the same in PE32 and PE32+ unless noted.
constexpr size_t OptSizeOfInitializedData = 8;
constexpr size_t OptSectionAlignment = 32;
constexpr size_t OptFileAlignment = 36;
constexpr size_t OptSizeOfImage = 56;
constexpr size_t OptSizeOfHeaders = 60;
constexpr size_t OptCheckSum = 64;
constexpr size_t OptNumberOfRvaAndSizes32 = 92;
constexpr size_t OptNumberOfRvaAndSizes64 = 108;

// Offsets inside a section header.
constexpr size_t SecVirtualSize = 8;
constexpr size_t SecVirtualAddress = 12;
constexpr size_t SecSizeOfRawData = 16;
constexpr size_t SecPointerToRawData = 20;

constexpr size_t ResourceDirectorySize = 16;
constexpr size_t ResourceEntrySize = 8;
constexpr size_t ResourceDataEntrySize = 16;

inline uint16_t Get16(const uint8_t* P) {
    return uint16_t(P[0] | P[1] << 8);
}

inline uint32_t Get32(const uint8_t* P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

// Raises EBuildError where Tree cannot be written as a section at BaseRva: an item listed
// twice, or more than the format's 16- and 32-bit fields hold.
void CheckResourceLayout(const TResourceTree& Tree, uint32_t BaseRva, WideStringView FileName);

} // namespace PeLayout
