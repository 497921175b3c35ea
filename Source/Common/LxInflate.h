#pragma once

// A zlib stream's inflater in bounded memory, fed in pieces of any size: the package's decoder.
// Table-driven and reading 64 bits at a time, it decodes about twice as fast as zlib's.
#include "LxSysUtils.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class TInflater {
public:
    // Decoded bytes reach the sink in pieces of at most this size.
    static constexpr size_t OutputChunk = 256 * 1024;

    TInflater();
    ~TInflater();
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // Returns true once the stream has ended and its checksum matched; input after its end is
    // ignored. Throws EZDecompressionError for a damaged stream.
    bool Push(const uint8_t* Data, size_t Size, TByteSink Sink);
    bool Finished() const;
    // Ready for another stream, keeping the memory of the last one.
    void Reset();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};
