#pragma once

#include "LxSysUtils.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Encodes with the package codec (a zlib stream, then the index XOR), using the fastest
// deflater this build has. One encoder per thread.
class TPackageEncoder {
public:
    // Smaller than zlib's best and several times faster; 8 and up buy a fraction of a percent
    // for twice the time or more.
    static constexpr int DefaultLevel = 7;
    // Files larger than this are encoded by EncodePieces, so that a thread holds at most about
    // twice this much whatever the files.
    static constexpr uint64_t WholeLimit = uint64_t(24) << 20;
    static constexpr size_t PieceSize = size_t(1) << 20;

    // Level 1 to 12 where the build has libdeflate; zlib always works at its best, 9.
    explicit TPackageEncoder(int Level = DefaultLevel);
    ~TPackageEncoder();
    TPackageEncoder(const TPackageEncoder&) = delete;
    TPackageEncoder& operator=(const TPackageEncoder&) = delete;

    // The encoded bytes stay in the encoder's buffer until the next call.
    std::span<const uint8_t> Encode(const uint8_t* Data, size_t Size);
    // One stream from what Read gives (at most PieceSize bytes a call, 0 at the end), handed to
    // Sink piece by piece: bounded memory at the speed of zlib's best level.
    void EncodePieces(TFunctionRef<size_t(uint8_t* Buffer, size_t Size)> Read, TByteSink Sink);
    // For reports: the deflater and level in use.
    std::string Engine() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
    // Reused without being cleared: only written bytes are read.
    std::unique_ptr<uint8_t[]> FBuffer;
    size_t FCapacity = 0;
    uint8_t* Reserve(size_t Size);
};
