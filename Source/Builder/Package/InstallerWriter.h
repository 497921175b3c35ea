#pragma once

#include "Pe/PeImage.h"
#include "SetupProject.h"

#include <vector>

struct TInstallerParts {
    const TSetupScript* Script = nullptr;
    const std::vector<uint8_t>* IconPng = nullptr;
    const std::vector<uint8_t>* LicenseText = nullptr; // null without a licence
    const std::vector<uint8_t>* FileBlock = nullptr;   // null for a mini installer
    // A mini installer's pin: the SHA-256 of the full installer, stored as it is; null for none.
    const std::vector<uint8_t>* FullSetupDigest = nullptr;
    WideString FileName; // the installer's own file name
};

// The stub with the package resources, the product icon and the version resource.
std::vector<uint8_t> MakeInstallerImage(const TPeImage& Stub, const TInstallerParts& Parts);

std::vector<uint8_t> EncodeBytes(const std::vector<uint8_t>& Plain);
