#include "Progress.h"

#include <chrono>
#include <cstdio>
#ifdef _WIN32
#include <io.h>
#define ONESETUP_ISATTY _isatty
#define ONESETUP_FILENO _fileno
#else
#include <unistd.h>
#define ONESETUP_ISATTY isatty
#define ONESETUP_FILENO fileno
#endif

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr int64_t QuietStartMs = 1000; // short work shows no bar at all
constexpr int64_t RedrawMs = 100;

} // namespace

bool StandardErrorIsTerminal() {
    return ONESETUP_ISATTY(ONESETUP_FILENO(stderr)) != 0;
}

TProgress::TProgress(std::string Title, uint64_t Total, bool Enabled)
    : FTitle(std::move(Title)), FTotal(Total), FEnabled(Enabled && StandardErrorIsTerminal()),
      FStart(NowMs()) {}

TProgress::~TProgress() {
    Finish();
}

void TProgress::Tick() {
    if (!FEnabled) return;
    const int64_t Now = NowMs();
    if (Now - FStart < QuietStartMs || Now - FLastDraw < RedrawMs) return;
    FLastDraw = Now;
    const uint64_t Done = FDone.load(std::memory_order_relaxed);
    const double Share = FTotal ? double(std::min(Done, FTotal)) / double(FTotal) : 1.0;
    constexpr int Width = 30;
    const int Filled = int(Share * Width);
    std::string Bar(size_t(Filled), '#');
    Bar.append(size_t(Width - Filled), '.');
    const double Seconds = double(Now - FStart) / 1000.0;
    std::fprintf(stderr, "\r%s [%s] %3d%%  %.1f MB/s ", FTitle.c_str(), Bar.c_str(),
                 int(Share * 100), Seconds > 0 ? double(Done) / 1e6 / Seconds : 0.0);
    std::fflush(stderr);
    FDrawn = true;
}

void TProgress::Finish() {
    if (!FDrawn) return;
    std::fprintf(stderr, "\r%*s\r", 80, "");
    std::fflush(stderr);
    FDrawn = false;
}

bool StandardOutputIsTerminal() {
    return ONESETUP_ISATTY(ONESETUP_FILENO(stdout)) != 0;
}
