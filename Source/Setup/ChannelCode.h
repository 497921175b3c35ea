#pragma once

#include "LxTypes.h"

// Appends "rcode=<digits>" when the installer's file title carries a channel code right after
// its first underscore (setup_1024 gives 1024); otherwise the address stays as it is.
WideString AddChannelCodeFor(WideStringView Url, WideStringView InstallerFileTitle);
