#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <shellapi.h>
#include <shlobj.h>
#undef ShellExecute
#undef MessageBox
#undef GetTempPath
#undef GetLongPathName

namespace {

constexpr DWORD ForegroundDelayMilliseconds = 300;

// The first running process whose executable has that name may take the foreground.
void AllowForegroundFor(WideStringView ExeName) {
    bool Found = false;
    TLxWinfn::ForEachProcess(false, [&](const TLxProcess& Process) {
        if (Found || !SameText(Process.ExeName, ExeName)) return;
        AllowSetForegroundWindow(Process.Id);
        Found = true;
    });
}

WideString ShellFolder(int Csidl) {
    // The shell writes at most MAX_PATH characters here: its own limit for these folders.
    wchar_t Buffer[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, Csidl, nullptr, SHGFP_TYPE_CURRENT, Buffer) != S_OK) return {};
    return FromW(Buffer);
}

} // namespace

intptr_t TLxWinfn::ShellExecute(TWindowHandle Wnd, WideStringView Operation,
                                WideStringView FileName, WideStringView Parameters,
                                WideStringView Directory, int ShowCmd, bool AllowForeground) {
    const WideString OperationText(Operation), FileText(FileName), ParameterText(Parameters),
        DirectoryText(Directory);
    const HINSTANCE Result = ShellExecuteW(static_cast<HWND>(Wnd), W(OperationText), W(FileText),
                                           W(ParameterText), W(DirectoryText), ShowCmd);
    if (AllowForeground) {
        Sleep(ForegroundDelayMilliseconds);
        AllowForegroundFor(ExtractFileName(FileName));
    }
    return reinterpret_cast<intptr_t>(Result);
}

intptr_t TLxWinfn::ShellOpen(WideStringView FileName) {
    return ShellExecute(nullptr, u"", FileName, u"", u"", SW_SHOW, false);
}

WideString TLxWinfn::FallbackBrowserPath() {
    const WideString ProgramFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    if (ProgramFiles.empty()) return {};
    return IncludeTrailingBackslash(ProgramFiles) + u"Internet Explorer\\iexplore.exe";
}

void TLxWinfn::OpenUrl(WideStringView Url) {
    if (ShellOpen(Url) > 32) return;
    const WideString Browser = FallbackBrowserPath();
    if (!Browser.empty()) ShellExecute(nullptr, u"", Browser, Url, u"", SW_SHOW, false);
}

WideString TLxWinfn::GetTempPath() {
    const WideString Path =
        ReadWinText([](wchar_t* Buffer, uint32_t Size) { return GetTempPathW(Size, Buffer); });
    if (Path.empty()) return {};
    return IncludeTrailingBackslash(TLxFilefn::GetLongPathName(Path));
}

WideString TLxRegfn::GetSpecialFolder(int Csidl) {
    const WideString Folder = ShellFolder(Csidl);
    return Folder.empty() ? WideString() : IncludeTrailingBackslash(Folder);
}

int TLxWinfn::MessageBox(TWindowHandle Owner, WideStringView Text, uint32_t Flags,
                         WideStringView Caption) {
    const WideString TextCopy(Text), CaptionCopy(Caption);
    return MessageBoxW(static_cast<HWND>(Owner), W(TextCopy), W(CaptionCopy), Flags);
}

int TLxWinfn::InfoBox(TWindowHandle Owner, WideStringView Text, WideStringView Caption) {
    return MessageBox(Owner, Text, MB_ICONINFORMATION, Caption);
}
