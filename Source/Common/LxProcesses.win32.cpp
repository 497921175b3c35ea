#include "LxLog.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <algorithm>
#include <string>
#include <tlhelp32.h>

namespace {

// The system's own account of its version: GetVersionEx reports what a compatibility shim or
// a missing manifest entry says instead.
TLxOsVersion ReadOsVersion() {
    TLxOsVersion Result;
    OSVERSIONINFOW Info{};
    Info.dwOSVersionInfoSize = sizeof(Info);
    const HMODULE Ntdll = GetModuleHandleW(L"ntdll.dll");
    LONG(WINAPI * RtlGetVersion)(OSVERSIONINFOW*);
    if (!Ntdll || !Bind(Ntdll, RtlGetVersion, "RtlGetVersion")) return Result;
    if (RtlGetVersion(&Info) != 0) return Result;
    Result.PlatformId = Info.dwPlatformId;
    Result.Major = Info.dwMajorVersion;
    Result.Minor = Info.dwMinorVersion;
    return Result;
}

const TLxOsVersion StartupVersion = ReadOsVersion();

struct TChild {
    TKernelHandle Process;
    TKernelHandle Thread;
};

bool StartProcess(WideStringView CommandLine, DWORD Flags, STARTUPINFOW& Startup, TChild& Child) {
    // A writable copy: CreateProcessW may modify the command line it is given.
    WideString Command(CommandLine);
    PROCESS_INFORMATION Info{};
    if (!CreateProcessW(nullptr, W(Command), nullptr, nullptr, TRUE, Flags, nullptr, nullptr,
                        &Startup, &Info))
        return false;
    Child.Process.Reset(Info.hProcess);
    Child.Thread.Reset(Info.hThread);
    return true;
}

uint32_t ExitCodeOf(const TChild& Child) {
    DWORD Code = 1;
    if (!GetExitCodeProcess(Child.Process.Get(), &Code)) return 1;
    return Code;
}

constexpr DWORD PollMilliseconds = 300;
constexpr DWORD ChunkSize = 1024;

// A double-byte character split by a chunk boundary waits for its second byte, so that the
// code-page round trip of the relay gives back every byte.
size_t CompleteCharacters(const char* Data, size_t Size) {
    size_t I = 0;
    while (I < Size) {
        if (IsDBCSLeadByte(static_cast<BYTE>(Data[I]))) {
            if (I + 1 == Size) break;
            I += 2;
        } else {
            ++I;
        }
    }
    return I;
}

void Relay(std::string& Pending, size_t Count) {
    if (Count == 0) return;
    TLxSysfn::WriteConsoleLine(PlatformAnsiToWide(std::string_view(Pending.data(), Count)));
    Pending.erase(0, Count);
}

// Reads one chunk of what the pipe holds and relays it; false when nothing was there.
bool RelayChunk(HANDLE Pipe, std::string& Pending) {
    char Buffer[ChunkSize];
    const DWORD Room = ChunkSize - static_cast<DWORD>(Pending.size());
    DWORD Available = 0;
    if (!PeekNamedPipe(Pipe, Buffer, Room, &Available, nullptr, nullptr) || Available == 0)
        return false;
    DWORD Got = 0;
    if (!ReadFile(Pipe, Buffer, Available, &Got, nullptr) || Got == 0) return false;
    Pending.append(Buffer, Got);
    Relay(Pending, CompleteCharacters(Pending.data(), Pending.size()));
    return true;
}

} // namespace

// Waits for the object (or, without one, only for the time) while paint and sent messages are
// handled; input is dropped, so that nothing the user does acts before the wait ends. False
// when the time ran out.
bool TLxWinfn::WaitPainting(void* Object, uint32_t Timeout) {
    const DWORD Start = GetTickCount();
    const DWORD Count = Object ? 1 : 0;
    for (;;) {
        DWORD Left = INFINITE;
        if (Timeout != INFINITE) {
            const DWORD Elapsed = GetTickCount() - Start;
            if (Elapsed >= Timeout) return false;
            Left = Timeout - Elapsed;
        }
        const DWORD Result =
            MsgWaitForMultipleObjects(Count, &Object, FALSE, Left, QS_PAINT | QS_INPUT);
        if (Count && Result == WAIT_OBJECT_0) return true;
        if (Result == WAIT_TIMEOUT || Result == WAIT_FAILED) return false;
        MSG Message;
        while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT)) {
        }
        while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
            DispatchMessageW(&Message);
    }
}

uint32_t TLxWinfn::RunAndWait(WideStringView CommandLine, bool KeepPainting) {
    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    Startup.dwFlags = STARTF_USESHOWWINDOW;
    Startup.wShowWindow = SW_SHOWNORMAL;
    TChild Child;
    if (!StartProcess(CommandLine, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, Startup, Child))
        return 1;
    if (KeepPainting)
        TLxWinfn::WaitPainting(Child.Process.Get(), INFINITE);
    else
        WaitForSingleObject(Child.Process.Get(), INFINITE);
    return ExitCodeOf(Child);
}

uint32_t TLxWinfn::RunCaptured(WideStringView CommandLine) {
    SECURITY_ATTRIBUTES Security{};
    Security.nLength = sizeof(Security);
    Security.bInheritHandle = TRUE;
    TKernelHandle ReadEnd, WriteEnd;
    if (!CreatePipe(ReadEnd.Receive(), WriteEnd.Receive(), &Security, 0)) return 1;
    // Only the write end goes to the child.
    SetHandleInformation(ReadEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    Startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    Startup.wShowWindow = SW_HIDE;
    Startup.hStdOutput = WriteEnd.Get();
    Startup.hStdError = WriteEnd.Get();
    TChild Child;
    if (!StartProcess(CommandLine, NORMAL_PRIORITY_CLASS, Startup, Child)) return 1;
    WriteEnd.Reset();

    std::string Pending;
    // While the program runs, one chunk per interval.
    while (WaitForSingleObject(Child.Process.Get(), PollMilliseconds) == WAIT_TIMEOUT)
        RelayChunk(ReadEnd.Get(), Pending);
    // Then all that is left. Drained by what the pipe holds, not to its end: a program that
    // the child started may still hold the write end.
    while (RelayChunk(ReadEnd.Get(), Pending)) {
    }
    Relay(Pending, Pending.size());
    return ExitCodeOf(Child);
}

void TLxWinfn::ForEachProcess(bool WithImagePaths, TFunctionRef<void(const TLxProcess&)> Visit) {
    const TKernelHandle Snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!Snapshot) return;
    PROCESSENTRY32W Entry{};
    Entry.dwSize = sizeof(Entry);
    TLxProcess Process;
    for (BOOL More = Process32FirstW(Snapshot.Get(), &Entry); More;
         More = Process32NextW(Snapshot.Get(), &Entry)) {
        Process.Id = Entry.th32ProcessID;
        Process.ExeName = FromW(Entry.szExeFile);
        Process.ImagePath.clear();
        const TKernelHandle Handle(
            WithImagePaths ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Process.Id)
                           : nullptr);
        if (Handle)
            Process.ImagePath = ReadWinText([&Handle](wchar_t* Buffer, uint32_t Size) -> uint32_t {
                DWORD Length = Size;
                if (QueryFullProcessImageNameW(Handle.Get(), 0, Buffer, &Length)) return Length;
                return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? Size : 0;
            });
        Visit(Process);
    }
}

bool TLxWinfn::EndProcess(uint32_t Id, uint32_t TimeoutMs) {
    const TKernelHandle Process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, Id));
    if (!Process || !TerminateProcess(Process.Get(), 1)) return false;
    // Ending is asynchronous: the files are free only once the process is gone.
    WaitPainting(Process.Get(), TimeoutMs);
    return true;
}

int TLxWinfn::EndProcessesOf(const std::vector<WideString>& Paths) {
    const uint32_t OwnId = GetCurrentProcessId();
    const DWORD Deadline = GetTickCount() + 5000;
    int Ended = 0;
    ForEachProcess(true, [&](const TLxProcess& Process) {
        if (Process.Id == OwnId || Process.ImagePath.empty()) return;
        const WideString Path = TLxFilefn::ComparablePath(Process.ImagePath);
        if (std::find(Paths.begin(), Paths.end(), Path) == Paths.end()) return;
        const DWORD Left = Deadline - GetTickCount();
        const bool Done = EndProcess(Process.Id, int32_t(Left) > 0 ? Left : 0);
        Ended += Done;
        LxLog::Write(Done ? u"Process ended: %s (%d)" : u"Process not ended: %s (%d)",
                     Process.ImagePath, int64_t(Process.Id));
    });
    if (Ended > 0) SleepPainting(300);
    return Ended;
}

void TLxWinfn::SleepPainting(uint32_t Milliseconds) {
    WaitPainting(nullptr, Milliseconds);
}

void TLxSysfn::WriteConsoleLine(WideStringView Text) {
    const HANDLE Output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (Output == nullptr || Output == INVALID_HANDLE_VALUE) return;
    const RawByteString Bytes = PlatformWideToAnsi(Text) + "\r\n";
    size_t Done = 0;
    while (Done < Bytes.size()) {
        DWORD Put = 0;
        if (!WriteFile(Output, Bytes.data() + Done, static_cast<DWORD>(Bytes.size() - Done), &Put,
                       nullptr) ||
            Put == 0)
            return;
        Done += Put;
    }
}

void WriteStandardError(WideStringView Text) {
    const HANDLE Handle = GetStdHandle(STD_ERROR_HANDLE);
    if (!Handle || Handle == INVALID_HANDLE_VALUE) return;
    const RawByteString Line = WideToUtf8(Text) + "\r\n";
    DWORD Written = 0;
    WriteFile(Handle, Line.data(), DWORD(Line.size()), &Written, nullptr);
}

bool TLxSysfn::IsDeveloperMode() {
#ifdef ONESETUP_DEVELOPER_BUILD
    return IsDebuggerPresent() != FALSE;
#else
    return false;
#endif
}

TLxOsVersion TLxWinfn::StartupOsVersion() {
    return StartupVersion;
}

bool TLxWinfn::IsWinXPOrHigher() {
    return OsVersionAtLeast(StartupVersion, 5, 1);
}

bool TLxWinfn::IsWin7OrHigher() {
    return OsVersionAtLeast(StartupVersion, 6, 1);
}
