#pragma once

#include <cstdint>
#include <vector>

// A plain product icon (PNG) for projects that bring none: the installer always shows one.
std::vector<uint8_t> MakeDefaultIconPng(uint32_t ColorBgr);
