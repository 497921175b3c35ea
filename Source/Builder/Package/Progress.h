#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Progress of one long step on a terminal: a bar redrawn in place on standard error, drawn
// only when standard error is a terminal and the work takes more than a moment.
class TProgress {
public:
    TProgress(std::string Title, uint64_t Total, bool Enabled);
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    // Thread-safe.
    void Advance(uint64_t Amount) { FDone.fetch_add(Amount, std::memory_order_relaxed); }
    // Redraws when due; call from one thread only.
    void Tick();
    void Finish();

private:
    std::string FTitle;
    uint64_t FTotal;
    std::atomic<uint64_t> FDone{0};
    bool FEnabled;
    bool FDrawn = false;
    int64_t FStart;
    int64_t FLastDraw = 0;
};

bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();
