#include "RunProgram.h"

#include "BuildError.h"
#include "LxStrUtils.h"
#include "LxWinHandles.h"

#include <cstdlib>

namespace {

// One argument as the C runtime's parser splits it again: quotes around it, backslashes
// doubled where a quote follows them.
WideString Quote(const WideString& Argument) {
    if (!Argument.empty() && Argument.find_first_of(u" \t\n\v\"") == WideString::npos)
        return Argument;
    WideString Quoted = u"\"";
    for (size_t I = 0;; ++I) {
        size_t Backslashes = 0;
        while (I < Argument.size() && Argument[I] == u'\\') {
            ++I;
            ++Backslashes;
        }
        if (I == Argument.size()) {
            Quoted.append(Backslashes * 2, u'\\');
            break;
        }
        Quoted.append(Argument[I] == u'"' ? Backslashes * 2 + 1 : Backslashes, u'\\');
        Quoted += Argument[I];
    }
    return Quoted + u"\"";
}

} // namespace

fs::path FindOnPath(const std::string& Name) {
    const wchar_t* Path = _wgetenv(L"PATH");
    WideString Folders = Path ? FromW(Path) : WideString();
    size_t Start = 0;
    while (Start < Folders.size()) {
        size_t End = Folders.find(u';', Start);
        if (End == WideString::npos) End = Folders.size();
        WideString Folder = Folders.substr(Start, End - Start);
        Start = End + 1;
        if (Folder.size() >= 2 && Folder.front() == u'"' && Folder.back() == u'"')
            Folder = Folder.substr(1, Folder.size() - 2);
        if (Folder.empty()) continue;
        const fs::path Candidate = fs::path(Folder) / (Name + ".exe");
        if (fs::is_regular_file(Candidate)) return Candidate;
    }
    return {};
}

TProgramResult RunProgram(const fs::path& Program, const std::vector<WideString>& Arguments) {
    auto Fail = [&] {
        RaiseBuildError(DisplayPath(Program),
                        u"cannot start the program (error " + IntToStr(GetLastError()) + u")");
    };
    WideString CommandLine = Quote(FromPath(Program));
    for (const WideString& Argument : Arguments) {
        CommandLine += u' ';
        CommandLine += Quote(Argument);
    }

    SECURITY_ATTRIBUTES Inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    TKernelHandle Read, Write;
    if (!CreatePipe(Read.Receive(), Write.Receive(), &Inherited, 0)) Fail();
    SetHandleInformation(Read.Get(), HANDLE_FLAG_INHERIT, 0);
    // Standard input is a pipe that ends at once: the signer never waits for a password.
    TKernelHandle Nothing, NothingWrite;
    if (!CreatePipe(Nothing.Receive(), NothingWrite.Receive(), &Inherited, 0)) Fail();
    NothingWrite.Reset();

    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    Startup.dwFlags = STARTF_USESTDHANDLES;
    Startup.hStdInput = Nothing.Get();
    Startup.hStdOutput = Write.Get();
    Startup.hStdError = Write.Get();
    PROCESS_INFORMATION Info{};
    const WideString Application = FromPath(Program);
    if (!CreateProcessW(W(Application), W(CommandLine), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &Startup, &Info))
        Fail();
    const TKernelHandle Process(Info.hProcess), Thread(Info.hThread);
    // The child holds the only write end now, so the reads end when it does.
    Write.Reset();
    Nothing.Reset();

    TProgramResult Result;
    char Buffer[4096];
    DWORD Count = 0;
    while (ReadFile(Read.Get(), Buffer, sizeof(Buffer), &Count, nullptr) && Count > 0)
        Result.Output.append(Buffer, Count);
    WaitForSingleObject(Process.Get(), INFINITE);
    DWORD Code = 1;
    GetExitCodeProcess(Process.Get(), &Code);
    Result.ExitCode = int(Code);
    return Result;
}
