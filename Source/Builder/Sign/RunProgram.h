#pragma once

// Runs a helper program and collects what it prints; one half per platform.

#include "PathUtils.h"

#include <string>
#include <vector>

struct TProgramResult {
    int ExitCode = -1;
    std::string Output; // standard output and standard error together
};

// The program of that name (with ".exe" on Windows) in a folder of the PATH; empty when none
// has it.
fs::path FindOnPath(const std::string& Name);

// Runs Program with Arguments and an empty standard input, and waits for it. Raises EBuildError
// naming the program when it cannot be started.
TProgramResult RunProgram(const fs::path& Program, const std::vector<WideString>& Arguments);
