#pragma once

#include "CommandLine.h"

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

extern const TCommand BuildCommand, InspectCommand, ExtractCommand, EncodeCommand, DecodeCommand;
