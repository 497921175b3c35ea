#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Encodes with the package codec (a zlib stream, then the index XOR), using the fastest
// deflater this build has. One encoder per thread.
class TPackageEncoder {
public:
    // Smaller than zlib's best and several times faster; 8 and up buy a fraction of a percent
    // for twice the time or more.
    static constexpr int DefaultLevel = 7;

    // Level 1 to 12 where the build has libdeflate; zlib always works at its best, 9.
    explicit TPackageEncoder(int Level = DefaultLevel);
    ~TPackageEncoder();
    TPackageEncoder(const TPackageEncoder&) = delete;
    TPackageEncoder& operator=(const TPackageEncoder&) = delete;

    std::vector<uint8_t> Encode(const uint8_t* Data, size_t Size);
    // For reports: the deflater and level in use.
    std::string Engine() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};
