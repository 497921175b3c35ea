#include "LxLog.h"

#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinText.h"

#include <windows.h>
#undef GetTempPath

namespace {

HANDLE File = INVALID_HANDLE_VALUE;
WideString FilePath;
bool TellPath = false;

void Warn(WideStringView Reason) {
    WriteStandardError(FormatText(u"无法写入日志文件：%s：%s", FilePath, Reason));
}

void Close() {
    CloseHandle(File);
    File = INVALID_HANDLE_VALUE;
}

} // namespace

void LxLog::Open(WideStringView Path) {
    FilePath = WideString(Path);
    File = CreateFileW(W(FilePath), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE) Warn(TLxSysfn::SysErrorMessage(GetLastError()));
}

void LxLog::OpenFor(const std::optional<WideString>& Option) {
    if (!Option) return;
    if (!Option->empty()) {
        Open(*Option);
        return;
    }
    SYSTEMTIME Now;
    GetLocalTime(&Now);
    wchar_t Time[24];
    wsprintfW(Time, L"-%04u%02u%02u-%02u%02u%02u.log", Now.wYear, Now.wMonth, Now.wDay, Now.wHour,
              Now.wMinute, Now.wSecond);
    Open(IncludeTrailingBackslash(TLxWinfn::GetTempPath()) + ExtractFileTitle(ParamStr(0)) +
         FromW(Time));
    TellPath = Active();
}

bool LxLog::Active() {
    return File != INVALID_HANDLE_VALUE;
}

void LxLog::WriteList(WideStringView Format, std::initializer_list<TFormatArg> Args) {
    if (!Active()) return;
    SYSTEMTIME Now;
    GetLocalTime(&Now);
    char Stamp[32];
    wsprintfA(Stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", Now.wYear, Now.wMonth, Now.wDay,
              Now.wHour, Now.wMinute, Now.wSecond, Now.wMilliseconds);
    const RawByteString Line = Stamp + WideToUtf8(FormatTextList(Format, Args)) + "\r\n";
    DWORD Written = 0;
    if (!WriteFile(File, Line.data(), DWORD(Line.size()), &Written, nullptr) ||
        Written != Line.size()) {
        Warn(TLxSysfn::SysErrorMessage(GetLastError()));
        Close();
    }
}

void LxLog::End(uint32_t Code) {
    if (!Active()) return;
    FILETIME Created, Exited, Kernel, User, Now;
    GetSystemTimeAsFileTime(&Now);
    uint64_t Milliseconds = 0;
    if (GetProcessTimes(GetCurrentProcess(), &Created, &Exited, &Kernel, &User)) {
        const auto Ticks = [](const FILETIME& Time) {
            return (uint64_t(Time.dwHighDateTime) << 32) | Time.dwLowDateTime;
        };
        Milliseconds = (Ticks(Now) - Ticks(Created)) / 10000;
    }
    Write(u"End: exit code %d after %d ms", int64_t(Code), int64_t(Milliseconds));
    Close();
    if (TellPath) WriteStandardError(FormatText(u"日志：%s", FilePath));
}
