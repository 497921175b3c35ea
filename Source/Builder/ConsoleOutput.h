#pragma once

#include "LxTypes.h"

#include <string_view>

// UTF-8 on standard output and standard error, whatever the platform.
void PrintLine(std::string_view Text);
void PrintLine(WideStringView Text);
void PrintError(std::string_view Text);
void PrintError(WideStringView Text);
