#include "LxPlatform.h"

#include <windows.h>

char16_t PlatformDecimalSeparator() {
    wchar_t Buffer[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, Buffer, 8) > 1) return Buffer[0];
    return u'.';
}

WideString PlatformModuleFileName() {
    WideString Result(MAX_PATH, u'\0');
    for (;;) {
        const DWORD Length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(Result.data()),
                                                static_cast<DWORD>(Result.size()));
        if (Length == 0) return {};
        if (Length < Result.size()) {
            Result.resize(Length);
            return Result;
        }
        Result.resize(Result.size() * 2);
    }
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
