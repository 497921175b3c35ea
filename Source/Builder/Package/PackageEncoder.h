#pragma once

#include "LxSysUtils.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Encodes with the package codec (a zlib stream, then the index XOR), using the fastest
// deflater this build has. One encoder per thread.
class TPackageEncoder {
public:
    // Smaller than zlib's best and several times faster; 8 and up buy a fraction of a percent
    // for twice the time or more.
    static constexpr int DefaultLevel = 7;
    // Files larger than this are cut into chunks of ChunkSize that all threads encode, so that
    // a thread holds at most about twice this much whatever the files.
    static constexpr uint64_t WholeLimit = uint64_t(24) << 20;
    static constexpr size_t PieceSize = size_t(1) << 20;
    // Fixed, so that the output does not depend on the number of threads: large enough that the
    // flush ending each chunk costs nothing measurable.
    static constexpr size_t ChunkSize = size_t(1) << 20;
    // Each chunk is primed with this much of the input before it, all a match can reach.
    static constexpr size_t ChunkPriming = 32768;

    // Level 1 to 12 where the build has libdeflate; zlib always works at its best, 9.
    explicit TPackageEncoder(int Level = DefaultLevel);
    ~TPackageEncoder();
    TPackageEncoder(const TPackageEncoder&) = delete;
    TPackageEncoder& operator=(const TPackageEncoder&) = delete;

    // The encoded bytes stay in the encoder's buffer until the next call.
    std::span<const uint8_t> Encode(const uint8_t* Data, size_t Size);
    // A chunk of a large input as raw deflate at zlib's best level into Out (grown as needed),
    // returning its length. Data holds Primed bytes of the input before the chunk, then the Size
    // bytes of the chunk. Every chunk but the Last ends on a byte boundary, so that
    // StreamHead(), the chunks in order and StreamTail() make one zlib stream.
    size_t EncodeChunk(const uint8_t* Data, size_t Primed, size_t Size, bool Last,
                       std::vector<uint8_t>& Out);
    static std::array<uint8_t, 2> StreamHead();
    // Adler is the Adler-32 of the whole input.
    static std::array<uint8_t, 4> StreamTail(uint32_t Adler);
    // For reports: the deflater and level in use.
    std::string Engine() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
    struct TChunkDeflater;
    std::unique_ptr<TChunkDeflater> FChunkDeflater;
    // Reused without being cleared: only written bytes are read.
    std::unique_ptr<uint8_t[]> FBuffer;
    size_t FCapacity = 0;
    uint8_t* Reserve(size_t Size);
};
