#pragma once

#include "PathUtils.h"

#include <string>

// The installer stub of an architecture ("x86" or "x64") that comes with this builder:
// beside it in "stubs", in "../share/onesetup/stubs", or in the build tree it was built in.
fs::path FindDefaultStub(const std::string& Arch);
// The uninstaller of an architecture: beside the stub in use first, then where the default
// stubs are.
fs::path FindUninstaller(const std::string& Arch, const fs::path& Stub);
