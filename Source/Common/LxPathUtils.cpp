#include "LxStrUtils.h"

namespace {

bool IsPathDelimiter(char16_t C) {
    return C == u'\\' || C == u':';
}

size_t LastDelimiter(WideStringView Path) {
    for (size_t I = Path.size(); I > 0; --I)
        if (IsPathDelimiter(Path[I - 1])) return I - 1;
    return WideStringView::npos;
}

} // namespace

WideString ExtractFilePath(WideStringView Path) {
    const size_t Delimiter = LastDelimiter(Path);
    return Delimiter == WideStringView::npos ? WideString()
                                             : WideString(Path.substr(0, Delimiter + 1));
}

WideString ExtractFileName(WideStringView Path) {
    const size_t Delimiter = LastDelimiter(Path);
    return WideString(Delimiter == WideStringView::npos ? Path : Path.substr(Delimiter + 1));
}

WideString ExtractFileExt(WideStringView Path) {
    const size_t Dot = Path.rfind(u'.');
    const size_t Delimiter = LastDelimiter(Path);
    if (Dot == WideStringView::npos) return {};
    if (Delimiter != WideStringView::npos && Dot < Delimiter) return {};
    return WideString(Path.substr(Dot));
}

WideString ExtractFileTitle(WideStringView Path) {
    WideString Name = ExtractFileName(Path);
    const size_t Dot = Name.rfind(u'.');
    if (Dot != WideString::npos) Name.resize(Dot);
    return Name;
}

WideString IncludeTrailingBackslash(WideStringView Path) {
    WideString Result(Path);
    if (Result.empty() || Result.back() != u'\\') Result += u'\\';
    return Result;
}

WideString ExcludeTrailingBackslash(WideStringView Path) {
    if (!Path.empty() && Path.back() == u'\\') Path.remove_suffix(1);
    return WideString(Path);
}
