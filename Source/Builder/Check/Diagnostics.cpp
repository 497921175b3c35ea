#include "Diagnostics.h"

#include "LxStrUtils.h"

#include <algorithm>

void TDiagnostics::Error(TSourcePos Pos, WideString Message) {
    FItems.push_back({Pos, TSeverity::Error, std::move(Message)});
}

void TDiagnostics::Warning(TSourcePos Pos, WideString Message) {
    FItems.push_back({Pos, TSeverity::Warning, std::move(Message)});
}

int TDiagnostics::Count(TSeverity Severity) const {
    return int(std::count_if(FItems.begin(), FItems.end(),
                             [&](const TDiagnostic& Item) { return Item.Severity == Severity; }));
}

std::vector<TDiagnostic> TDiagnostics::Sorted() const {
    std::vector<TDiagnostic> Result = FItems;
    std::stable_sort(Result.begin(), Result.end(), [](const TDiagnostic& A, const TDiagnostic& B) {
        return A.Pos.Line != B.Pos.Line ? A.Pos.Line < B.Pos.Line : A.Pos.Column < B.Pos.Column;
    });
    return Result;
}

WideString FormatDiagnostic(WideStringView File, const TDiagnostic& Diagnostic,
                            bool WarningsAreErrors) {
    const bool Warning = Diagnostic.Severity == TSeverity::Warning;
    return FormatText(u"%s:%d:%d: %s: %s%s", File, Diagnostic.Pos.Line, Diagnostic.Pos.Column,
                      WideStringView(Warning && !WarningsAreErrors ? u"warning" : u"error"),
                      Diagnostic.Message,
                      WideStringView(Warning && WarningsAreErrors ? u" [--werror]" : u""));
}
