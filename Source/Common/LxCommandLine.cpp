#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"

std::vector<WideString> SplitCommandLine(WideStringView CommandLine) {
    std::vector<WideString> Result;
    size_t P = 0;
    const size_t N = CommandLine.size();
    auto At = [&](size_t I) -> char16_t { return I < N ? CommandLine[I] : u'\0'; };
    for (;;) {
        for (;;) {
            while (At(P) != 0 && At(P) <= u' ')
                ++P;
            if (At(P) == u'"' && At(P + 1) == u'"')
                P += 2;
            else
                break;
        }
        WideString Parameter;
        while (At(P) > u' ') {
            if (At(P) == u'"') {
                ++P;
                while (At(P) != 0 && At(P) != u'"')
                    Parameter += CommandLine[P++];
                if (At(P) != 0) ++P;
            } else {
                Parameter += CommandLine[P++];
            }
        }
        if (Parameter.empty()) break;
        Result.push_back(std::move(Parameter));
    }
    return Result;
}

TRunOptions TakeRunOptions(const std::vector<WideString>& Parameters) {
    TRunOptions Options;
    for (const WideString& Parameter : Parameters) {
        const WideStringView Text = Parameter;
        if (SameText(Text.substr(0, 5), u"/Dir="))
            Options.Dir = WideString(Text.substr(5));
        else if (SameText(Text.substr(0, 5), u"/Log="))
            Options.Log = WideString(Text.substr(5));
        else if (SameText(Text, u"/Log"))
            Options.Log = WideString();
        else
            Options.Rest.push_back(Parameter);
    }
    return Options;
}

std::vector<WideString> ParamList() {
    std::vector<WideString> Parameters = SplitCommandLine(PlatformCommandLine());
    if (!Parameters.empty()) Parameters.erase(Parameters.begin());
    return Parameters;
}

// The process's own command line, split by the rules of SplitCommandLine.
int ParamCount() {
    const size_t Count = SplitCommandLine(PlatformCommandLine()).size();
    return Count > 0 ? static_cast<int>(Count - 1) : 0;
}

WideString ParamStr(int Index) {
    if (Index == 0) return PlatformModuleFileName();
    if (Index < 0) return {};
    const std::vector<WideString> Parameters = SplitCommandLine(PlatformCommandLine());
    return static_cast<size_t>(Index) < Parameters.size() ? Parameters[size_t(Index)]
                                                          : WideString();
}
