#pragma once

#include "LxExceptions.h"
#include "LxStrUtils.h"

// A failure the builder reports in one line: what, which file, why.
LX_DECLARE_EXCEPTION(EBuildError, Exception);

[[noreturn]] inline void RaiseBuildError(WideStringView File, WideStringView Why) {
    throw EBuildError(WideString(File) + u": " + WideString(Why));
}
