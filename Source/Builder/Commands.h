#pragma once

#include <string>
#include <vector>

using TArguments = std::vector<std::string>;

// Each command returns the process exit code; errors it cannot handle are raised.
int RunEncode(const TArguments& Arguments);
int RunDecode(const TArguments& Arguments);
int RunShow(const TArguments& Arguments);
