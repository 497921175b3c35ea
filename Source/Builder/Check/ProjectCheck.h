#pragma once

#include "Diagnostics.h"
#include "PathUtils.h"

// Reads a project strictly and checks what the builder and the installer would make of it.
// Raises EBuildError only when the file cannot be read.
TDiagnostics CheckProject(const fs::path& Project);
