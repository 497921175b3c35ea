#pragma once

#include "LxStreams.h"
#include "PeResources.h"

#include <cstdint>
#include <vector>

// A PE32 or PE32+ image whose resource section can be rebuilt. The resource section must be
// the last section and nothing but a signature (the certificate table) may follow it in the
// file, so that it can grow in place.
class TPeImage {
public:
    // Validates headers, sections and the resource tree; anything malformed or pointing
    // outside the file raises EBuildError naming FileName.
    TPeImage(std::vector<uint8_t> Bytes, WideString FileName);

    bool Is64() const { return FIs64; }
    uint16_t Machine() const { return FMachine; }
    // Carries a certificate table, which WithResources drops.
    bool IsSigned() const { return FSigned; }
    const std::vector<uint8_t>& Bytes() const { return FBytes; }
    const TResourceTree& Resources() const { return FResources; }

    // The image with its resource section replaced by Tree: section sizes, the resource data
    // directory, SizeOfImage, SizeOfInitializedData and the checksum updated, and no signature.
    std::vector<uint8_t> WithResources(const TResourceTree& Tree) const;
    // The same written to Out from its current position as the resources are laid out, the
    // checksum patched at the end: no copy of the image is held. Returns the bytes written.
    uint64_t WriteWithResources(const TResourceTree& Tree, TStream& Out) const;
    uint64_t SizeWithResources(const TResourceTree& Tree) const;

private:
    std::vector<uint8_t> FBytes;
    WideString FFileName;
    bool FIs64 = false;
    bool FSigned = false;
    uint16_t FMachine = 0;
    TResourceTree FResources;
    // Offsets found while validating.
    size_t FNtHeaders = 0;
    size_t FOptionalHeader = 0;
    size_t FResourceSectionHeader = 0;
};

// The image checksum, summed piece by piece as the file is written.
class TPeChecksum {
public:
    void Add(const uint8_t* Data, size_t Size);
    // With the checksum field's bytes counted as zero.
    uint32_t Finish() const;

private:
    uint64_t FSum = 0;
    uint64_t FSize = 0;
};

// The image checksum: 16-bit one's-complement sum of the file with the checksum field taken
// as zero, plus the file length.
uint32_t ComputePeChecksum(const uint8_t* Data, size_t Size, size_t ChecksumOffset);
