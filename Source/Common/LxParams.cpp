#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"

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
