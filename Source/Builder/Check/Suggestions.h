#pragma once

#include "LxTypes.h"

#include <vector>

// " (did you mean 'X'?)" for the known name nearest to Name, ignoring case; empty when none is
// near enough to be a slip of the keyboard.
WideString DidYouMean(WideStringView Name, const std::vector<WideString>& Known);
