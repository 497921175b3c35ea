#pragma once

// What the portable core asks of the platform; one implementation per platform.
#include "LxTypes.h"

char16_t PlatformDecimalSeparator();
// Full path of the running executable.
WideString PlatformModuleFileName();
WideString PlatformCommandLine();
// The processors this process may run on; 1 at least.
int PlatformProcessorCount();
// The system's 8-bit code page.
RawByteString PlatformWideToAnsi(WideStringView Text);
WideString PlatformAnsiToWide(std::string_view Text);
