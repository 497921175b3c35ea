#include "LxPlatform.h"

#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinText.h"

#include <windows.h>

WideString TLxSysfn::SysErrorMessage(uint32_t Error) {
    wchar_t* Buffer = nullptr;
    const DWORD Length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, Error, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
    WideString Result;
    if (Length > 0 && Buffer)
        Result = Trim(WideStringView(reinterpret_cast<char16_t*>(Buffer), Length));
    LocalFree(Buffer);
    return Result.empty() ? u"Error " + IntToStr(Error) : Result;
}

char16_t PlatformDecimalSeparator() {
    wchar_t Buffer[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, Buffer, 8) > 1) return Buffer[0];
    return u'.';
}

WideString PlatformModuleFileName() {
    return ReadWinText(
        [](wchar_t* Buffer, uint32_t Size) { return GetModuleFileNameW(nullptr, Buffer, Size); });
}

int PlatformProcessorCount() {
    DWORD_PTR Process = 0, System = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &Process, &System) || !Process) return 1;
    int Count = 0;
    for (; Process; Process &= Process - 1)
        ++Count;
    return Count;
}

WideString PlatformCommandLine() {
    return reinterpret_cast<const char16_t*>(GetCommandLineW());
}

RawByteString PlatformWideToAnsi(WideStringView Text) {
    if (Text.empty()) return {};
    const auto* Wide = reinterpret_cast<const wchar_t*>(Text.data());
    const int Length =
        WideCharToMultiByte(CP_ACP, 0, Wide, int(Text.size()), nullptr, 0, nullptr, nullptr);
    RawByteString Result(size_t(Length > 0 ? Length : 0), '\0');
    if (Length > 0)
        WideCharToMultiByte(CP_ACP, 0, Wide, int(Text.size()), Result.data(), Length, nullptr,
                            nullptr);
    return Result;
}

WideString PlatformAnsiToWide(std::string_view Text) {
    if (Text.empty()) return {};
    const int Length = MultiByteToWideChar(CP_ACP, 0, Text.data(), int(Text.size()), nullptr, 0);
    WideString Result(size_t(Length > 0 ? Length : 0), u'\0');
    if (Length > 0)
        MultiByteToWideChar(CP_ACP, 0, Text.data(), int(Text.size()),
                            reinterpret_cast<wchar_t*>(Result.data()), Length);
    return Result;
}
