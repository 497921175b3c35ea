#include "Scaling.h"

#include "LxWinHandles.h"

#include <cstring>

namespace Scaling {

bool Enabled() {
    static const bool Scales = [] {
        HMODULE Module = GetModuleHandleW(nullptr);
        HRSRC Found = FindResourceW(Module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        if (!Found) return false;
        const auto* Text = static_cast<const char*>(LockResource(LoadResource(Module, Found)));
        const size_t Size = SizeofResource(Module, Found);
        static constexpr char Marker[] = "PerMonitorV2";
        const char* End = Text + Size;
        return Text && std::search(Text, End, Marker, Marker + sizeof(Marker) - 1) != End;
    }();
    return Scales;
}

namespace {

// The DPI of the monitor a window is on. Before the system knew per-monitor DPI, the one DPI
// of the screen.
int WindowDpi(HWND Window) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static TGetDpiForWindow GetDpiForWindow = [] {
        TGetDpiForWindow Function = nullptr;
        Bind(GetModuleHandleW(L"user32.dll"), Function, "GetDpiForWindow");
        return Function;
    }();
    if (GetDpiForWindow)
        if (const UINT Dpi = GetDpiForWindow(Window)) return int(Dpi);
    HDC Screen = GetDC(nullptr);
    const int Dpi = GetDeviceCaps(Screen, LOGPIXELSX);
    ReleaseDC(nullptr, Screen);
    return Dpi > 0 ? Dpi : 96;
}

} // namespace

bool Choose(HWND Window, int Width, int Height, int Dpi, const RECT* Where) {
    if (!Enabled()) return false;
    if (Dpi <= 0) Dpi = WindowDpi(Window);
    MONITORINFO Monitor{};
    Monitor.cbSize = sizeof(Monitor);
    HMONITOR Handle = Where ? MonitorFromRect(Where, MONITOR_DEFAULTTONEAREST)
                            : MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY);
    if (GetMonitorInfoW(Handle, &Monitor)) {
        const RECT& Work = Monitor.rcWork;
        Dpi = FitDpi(Dpi, Width, Height, Work.right - Work.left, Work.bottom - Work.top);
    }
    if (Dpi == Detail::CurrentDpi) return false;
    Detail::CurrentDpi = Dpi;
    return true;
}

} // namespace Scaling
