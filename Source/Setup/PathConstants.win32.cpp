#include "LxSysUtils.h"
#include "LxWinText.h"
#include "MySetupUtils.h"

#include <shlobj.h>

namespace {

WideString EnvironmentVariable(const wchar_t* Name) {
    return ReadWinText([Name](wchar_t* Buffer, uint32_t Size) {
        return GetEnvironmentVariableW(Name, Buffer, Size);
    });
}

} // namespace

void TSetupfn::InitConstants() {
    InitConstantsFrom(EnvironmentVariable(L"ProgramFiles"),
                      TLxRegfn::GetSpecialFolder(CSIDL_DESKTOP),
                      TLxRegfn::GetSpecialFolder(CSIDL_COMMON_PROGRAMS));
}
