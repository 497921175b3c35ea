#include "LxSysUtils.h"
#include "MySetupUtils.h"

#include <shlobj.h>

namespace {

WideString EnvironmentVariable(const wchar_t* Name) {
    WideString Value(MAX_PATH, u'\0');
    for (;;) {
        const DWORD Length = GetEnvironmentVariableW(Name, reinterpret_cast<wchar_t*>(Value.data()),
                                                     static_cast<DWORD>(Value.size()));
        if (Length == 0) return {};
        if (Length < Value.size()) {
            Value.resize(Length);
            return Value;
        }
        // Too small: Length is the size needed, terminating zero included.
        Value.resize(Length);
    }
}

} // namespace

void TSetupfn::InitConstants() {
    InitConstantsFrom(EnvironmentVariable(L"ProgramFiles"),
                      TLxRegfn::GetSpecialFolder(CSIDL_DESKTOP),
                      TLxRegfn::GetSpecialFolder(CSIDL_COMMON_PROGRAMS));
}
