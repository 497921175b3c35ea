#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class TSha256 {
public:
    using TDigest = std::array<uint8_t, 32>;

    TSha256();
    void Update(const void* Data, size_t Size);
    void Update(std::string_view Text) { Update(Text.data(), Text.size()); }
    TDigest Finish();

    static TDigest Of(const void* Data, size_t Size) {
        TSha256 Hash;
        Hash.Update(Data, Size);
        return Hash.Finish();
    }

private:
    void Block(const uint8_t* Data);
    uint32_t FState[8];
    uint8_t FBuffer[64];
    size_t FBuffered = 0;
    uint64_t FLength = 0;
};

// Of a file's bytes, read piece by piece; errors name the file.
TSha256::TDigest FileSha256(const std::filesystem::path& File);

// Lower-case hexadecimal, as digests are shown.
std::string HexText(const void* Data, size_t Size);
