#pragma once

#include "CommandLine.h"
#include "PathUtils.h"

struct TCommand {
    const char* Name;
    const char* Summary;
    const char* Help;
    int (*Run)(const TArguments& Arguments);
};

int RunBuild(const TArguments& Arguments);
int RunInspect(const TArguments& Arguments);
int RunExtract(const TArguments& Arguments);
int RunEncode(const TArguments& Arguments);
int RunDecode(const TArguments& Arguments);
int RunCheck(const TArguments& Arguments);
int RunNew(const TArguments& Arguments);

extern const TCommand BuildCommand, CheckCommand, NewCommand, InspectCommand, ExtractCommand,
    EncodeCommand, DecodeCommand;

// Checks a project and prints its problems on standard error; true when it may be built.
bool ReportProjectCheck(const fs::path& Project, bool WarningsAreErrors, bool Quiet);
