#include "LxLog.h"

#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinText.h"

#include <windows.h>
#undef GetTempPath

namespace {

std::unique_ptr<TFileStream> File;
WideString FilePath;
bool TellPath = false;

// Once: the run goes on without its log.
void Warn(const Exception& Error) {
    WriteStandardError(FormatText(u"无法写入日志文件：%s", Error.Message()));
    File.reset();
}

} // namespace

void LxLog::Open(WideStringView Path) {
    FilePath = WideString(Path);
    try {
        File = std::make_unique<TFileStream>(FilePath, fmCreate);
    } catch (const Exception& Error) {
        Warn(Error);
    }
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
    return File != nullptr;
}

void LxLog::WriteList(WideStringView Format, std::initializer_list<TFormatArg> Args) {
    if (!Active()) return;
    SYSTEMTIME Now;
    GetLocalTime(&Now);
    char Stamp[32];
    wsprintfA(Stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", Now.wYear, Now.wMonth, Now.wDay,
              Now.wHour, Now.wMinute, Now.wSecond, Now.wMilliseconds);
    const RawByteString Line = Stamp + WideToUtf8(FormatTextList(Format, Args)) + "\r\n";
    try {
        File->WriteBuffer(Line.data(), int64_t(Line.size()));
    } catch (const Exception& Error) {
        Warn(Error);
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
    File.reset();
    if (TellPath) WriteStandardError(FormatText(u"日志：%s", FilePath));
}
