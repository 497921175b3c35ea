#pragma once

#include "PathUtils.h"

#include <string>

// A program a build uses. One that came with the builder is reported by its name alone: its
// path says where the builder was unpacked, not what was built.
struct TFoundProgram {
    fs::path Path;
    bool Shipped = false;
};

// The installer stub of an architecture ("x86" or "x64") that comes with this builder: in
// ONESETUP_STUB_DIR, beside it in "stubs", or in "../share/onesetup/stubs". Never a test stub.
TFoundProgram FindDefaultStub(const std::string& Arch);
// The uninstaller of an architecture: beside the stub in use first, then where the default
// stubs are.
TFoundProgram FindUninstaller(const std::string& Arch, const TFoundProgram& Stub);
// How the report names a program.
WideString ProgramOrigin(const TFoundProgram& Program);
