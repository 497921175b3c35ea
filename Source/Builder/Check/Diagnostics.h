#pragma once

#include "LxTypes.h"

#include <vector>

// A place in the project file: line and column count from 1, columns in characters.
struct TSourcePos {
    int Line = 1;
    int Column = 1;
};

enum class TSeverity { Warning, Error };

struct TDiagnostic {
    TSourcePos Pos;
    TSeverity Severity;
    WideString Message;
};

// The problems found in one project, as compilers report them.
class TDiagnostics {
public:
    void Error(TSourcePos Pos, WideString Message);
    void Warning(TSourcePos Pos, WideString Message);
    int Count(TSeverity Severity) const;
    // In the order of the file; problems at one place in the order found.
    std::vector<TDiagnostic> Sorted() const;

private:
    std::vector<TDiagnostic> FItems;
};

// "FILE:LINE:COLUMN: error: message"; a promoted warning says so.
WideString FormatDiagnostic(WideStringView File, const TDiagnostic& Diagnostic,
                            bool WarningsAreErrors);
