#include "LxPlatform.h"

#include "LxStrUtils.h"

#include <cstdio>
#include <unistd.h>

char16_t PlatformDecimalSeparator() {
    return u'.';
}

WideString PlatformModuleFileName() {
    char Buffer[4096];
    const ssize_t Length = readlink("/proc/self/exe", Buffer, sizeof(Buffer));
    if (Length <= 0) return {};
    return Utf8ToWide(std::string_view(Buffer, static_cast<size_t>(Length)));
}

int PlatformProcessorCount() {
    const long Count = sysconf(_SC_NPROCESSORS_ONLN);
    return Count > 0 ? int(Count) : 1;
}

WideString PlatformCommandLine() {
    // Quotes every argument so that the Windows splitting rules give the arguments back.
    std::string Raw;
    if (FILE* File = std::fopen("/proc/self/cmdline", "rb")) {
        char Buffer[4096];
        size_t Count;
        while ((Count = std::fread(Buffer, 1, sizeof(Buffer), File)) > 0)
            Raw.append(Buffer, Count);
        std::fclose(File);
    }
    WideString Result;
    size_t Start = 0;
    while (Start < Raw.size()) {
        size_t End = Raw.find('\0', Start);
        if (End == std::string::npos) End = Raw.size();
        if (!Result.empty()) Result += u' ';
        Result += u'"' + Utf8ToWide(std::string_view(Raw).substr(Start, End - Start)) + u'"';
        Start = End + 1;
    }
    return Result;
}

// The 8-bit code page of a Linux system is UTF-8.
RawByteString PlatformWideToAnsi(WideStringView Text) {
    return WideToUtf8(Text);
}
WideString PlatformAnsiToWide(std::string_view Text) {
    return Utf8ToWide(Text);
}
