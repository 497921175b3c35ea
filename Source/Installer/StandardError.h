#pragma once

#include "LxTypes.h"

// One line, UTF-8, on standard error when there is one; silent installs report there.
void WriteStandardError(WideStringView Text);
