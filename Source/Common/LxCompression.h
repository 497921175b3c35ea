#pragma once

#include "LxSysUtils.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Inflates one zlib stream that arrives in pieces, handing the output on in bounded pieces,
// so neither side is ever held whole.
class TZInflater {
public:
    static constexpr size_t OutputChunk = 256 * 1024;

    TZInflater();
    ~TZInflater();
    TZInflater(const TZInflater&) = delete;
    TZInflater& operator=(const TZInflater&) = delete;

    // Returns true once the stream has ended; input after its end is ignored.
    bool Push(const uint8_t* Data, size_t Size, TByteSink Sink);
    bool Finished() const { return FFinished; }
    // Ready for another stream, keeping the memory of the last one.
    void Reset();

private:
    struct TState;
    std::unique_ptr<TState> FState;
    bool FFinished = false;
};
