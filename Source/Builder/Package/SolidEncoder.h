#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TSolidIndex;

// The index of solid data, encoded, with its length: what follows the blocks' frames.
void AppendSolidIndex(const TSolidIndex& Index, std::vector<uint8_t>& Out);

// Compresses one block of solid file data into one zstd frame, piece by piece. One per thread.
class TSolidEncoder {
public:
    // zstd's levels, 1 to 22; the solid default is 19.
    static constexpr int DefaultLevel = 19;
    // 16 MiB: the decoder's window, which each of the installer's decoding threads holds.
    static constexpr int WindowLog = 24;

    explicit TSolidEncoder(int Level);
    ~TSolidEncoder();
    TSolidEncoder(const TSolidEncoder&) = delete;
    TSolidEncoder& operator=(const TSolidEncoder&) = delete;

    // Starts a frame of PlainBytes bytes (written into its header).
    void Begin(uint64_t PlainBytes);
    void Add(const uint8_t* Data, size_t Size);
    // Ends the frame; Frame holds it whole.
    void End();
    const std::vector<uint8_t>& Frame() const { return FFrame; }

    // What one encoder holds at Level: the budget for the number of threads.
    static uint64_t MemoryPerThread(int Level);

private:
    struct TState;
    std::unique_ptr<TState> FState;
    std::vector<uint8_t> FFrame;
    void Run(const uint8_t* Data, size_t Size, bool Last);
};
