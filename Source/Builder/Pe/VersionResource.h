#pragma once

#include "LxTypes.h"

#include <cstdint>
#include <vector>

struct TVersionInfo {
    uint16_t Numbers[4] = {}; // major, minor, release, build
    WideString CompanyName;
    WideString FileDescription;
    WideString FileVersion;
    WideString LegalCopyright;
    WideString OriginalFilename;
    WideString ProductName;
    WideString ProductVersion;
};

// The bytes of a VS_VERSIONINFO resource (Simplified Chinese, Unicode string table).
std::vector<uint8_t> MakeVersionResource(const TVersionInfo& Info);
