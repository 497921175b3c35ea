#pragma once

#include "Pe/PeImage.h"
#include "SetupProject.h"

#include <functional>
#include <vector>

struct TInstallerParts {
    const TSetupScript* Script = nullptr;
    const std::vector<uint8_t>* IconPng = nullptr;
    const std::vector<uint8_t>* LicenseText = nullptr; // null without a licence
    const std::vector<uint8_t>* FileBlock = nullptr;   // null for a mini installer
    // Or a file block written as the image is: its size and what writes it.
    uint64_t StreamedBlockSize = 0;
    std::function<void(TByteSink)> StreamedBlock;
    bool SolidData = false; // the block is solid data, not the file-data block
    // The file data's digest record; null for none.
    const std::vector<uint8_t>* FileDataDigests = nullptr;
    // A mini installer's pin: the SHA-256 of the full installer, stored as it is; null for none.
    const std::vector<uint8_t>* FullSetupDigest = nullptr;
    WideString FileName; // the installer's own file name
};

// The stub with the package resources, the product icon and the version resource, written to
// Out; returns its size. Raises before writing when it would be 2 GiB or more.
uint64_t WriteInstallerImage(const TPeImage& Stub, const TInstallerParts& Parts, TStream& Out);
std::vector<uint8_t> MakeInstallerImage(const TPeImage& Stub, const TInstallerParts& Parts);

std::vector<uint8_t> EncodeBytes(const std::vector<uint8_t>& Plain);
