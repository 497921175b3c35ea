#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A small deflater for programs that compress little (the installer's uninstall data): one
// fixed-Huffman block with greedy matching over the 32 KiB window, in a complete zlib stream.
// Any inflater reads it; it is smaller than zlib's deflater by some 30 KB of code.
std::vector<uint8_t> LeanDeflate(const uint8_t* Data, size_t Size);
