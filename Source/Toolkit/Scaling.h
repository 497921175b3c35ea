#pragma once

// Windows-only. The display scale of the process's windows. Every size the windows are designed
// with is in pixels at 96 dots per inch; a program whose manifest asks for per-monitor awareness
// (the builder writes it for projects that scale with the display) turns them into the
// display's pixels here. Any other program keeps the designed pixels as they are.

#include <windows.h>

#include <algorithm>

namespace Scaling {

namespace Detail {
inline int CurrentDpi = 96;
}

// The program's manifest asks for it. Read once.
bool Enabled();
inline int Dpi() {
    return Detail::CurrentDpi;
}
// A designed length in the display's pixels, rounded to the nearest.
inline int Px(int Designed) {
    return MulDiv(Designed, Detail::CurrentDpi, 96);
}
inline float PxF(float Designed) {
    return Designed * float(Detail::CurrentDpi) / 96.0f;
}
// The width of a designed line: whole multiples only, so that thin lines stay crisp.
inline int Line(int Designed) {
    return Designed * std::max(1, Detail::CurrentDpi / 96);
}
// The designed length of a size in the display's pixels.
inline int Designed(int Pixels) {
    return MulDiv(Pixels, 96, Detail::CurrentDpi);
}

// The highest DPI, at most Dpi and not below 96, at which a window of the designed size fits
// the work area.
constexpr int FitDpi(int Dpi, int Width, int Height, int WorkWidth, int WorkHeight) {
    if (Width <= 0 || Height <= 0) return Dpi;
    const int Fits = std::min(WorkWidth * 96 / Width, WorkHeight * 96 / Height);
    return std::max(96, std::min(Dpi, Fits));
}

// For a main window of the designed client size: the DPI of its monitor (Dpi, or the window's
// own when 0), lowered until it fits that monitor's work area (the one Where lies on, when
// given). Returns whether the scale changed. Nothing changes when scaling is not enabled.
bool Choose(HWND Window, int Width, int Height, int Dpi = 0, const RECT* Where = nullptr);

} // namespace Scaling
