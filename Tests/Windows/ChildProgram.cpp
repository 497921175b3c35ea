// The program that services_tests starts. Reads its own command line with ParamStr.
//   exit CODE                        exits with CODE
//   write COUNT lf|nolf [PIECES MS]  writes ChildOutput to standard output, in PIECES with
//                                    MS between them, then exits at once
//   args OUTFILE ...                 writes ParamCount and every ParamStr as UTF-8 lines
//   touch FILE                       creates FILE
//   sleep MS
//   devmode                          exit code: 2 under a debugger, plus 1 in developer mode

#include "ChildOutput.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"

#include <windows.h>

namespace {

int Number(int Index) {
    int32_t Value = 0;
    return TryStrToInt(ParamStr(Index), Value) ? Value : 0;
}

bool WriteAll(HANDLE Output, const char* Data, size_t Size) {
    while (Size > 0) {
        DWORD Put = 0;
        if (!WriteFile(Output, Data, static_cast<DWORD>(Size), &Put, nullptr) || Put == 0)
            return false;
        Data += Put;
        Size -= Put;
    }
    return true;
}

int Write() {
    const std::string Text = ChildOutput(size_t(Number(2)), ParamStr(3) == u"lf");
    const size_t Pieces = ParamCount() >= 5 ? size_t(Number(4)) : 1;
    const HANDLE Output = GetStdHandle(STD_OUTPUT_HANDLE);
    for (size_t I = 0; I < Pieces; ++I) {
        if (I > 0) Sleep(DWORD(Number(5)));
        const size_t From = Text.size() * I / Pieces, To = Text.size() * (I + 1) / Pieces;
        if (!WriteAll(Output, Text.data() + From, To - From)) return 3;
    }
    return 0;
}

HANDLE CreateFor(int Index) {
    const WideString Name = ParamStr(Index);
    return CreateFileW(reinterpret_cast<const wchar_t*>(Name.c_str()), GENERIC_WRITE, 0, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Args() {
    const HANDLE File = CreateFor(2);
    if (File == INVALID_HANDLE_VALUE) return 3;
    std::string Text = WideToUtf8(IntToStr(ParamCount())) + "\n";
    for (int I = 0; I <= ParamCount(); ++I)
        Text += WideToUtf8(ParamStr(I)) + "\n";
    const bool Written = WriteAll(File, Text.data(), Text.size());
    CloseHandle(File);
    return Written ? 0 : 3;
}

} // namespace

int main() {
    const WideString Mode = ParamStr(1);
    if (Mode == u"exit") return Number(2);
    if (Mode == u"write") return Write();
    if (Mode == u"args") return Args();
    if (Mode == u"touch") {
        const HANDLE File = CreateFor(2);
        if (File == INVALID_HANDLE_VALUE) return 3;
        CloseHandle(File);
        return 0;
    }
    if (Mode == u"sleep") {
        Sleep(DWORD(Number(2)));
        return 0;
    }
    if (Mode == u"devmode")
        return (IsDebuggerPresent() ? 2 : 0) | (TLxSysfn::IsDeveloperMode() ? 1 : 0);
    return 2;
}
