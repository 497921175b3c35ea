#include "LxExceptions.h"

#include "LxStrUtils.h"

Exception::Exception(WideString Message, uint32_t SystemError)
    : FMessage(std::move(Message)), FUtf8Message(WideToUtf8(FMessage)), FSystemError(SystemError) {}

namespace {

// Keeps the location short and the same on every build machine: "Source\Common\LxSysUtils.cpp".
WideString SourceLocation(const char* File) {
    std::string_view Path(File);
    const size_t Root = Path.rfind("Source/");
    if (Root != std::string_view::npos) Path.remove_prefix(Root);
    WideString Result = AsciiToWide(Path);
    for (char16_t& C : Result)
        if (C == u'/') C = u'\\';
    return Result;
}

} // namespace

void RaiseAssertion(WideStringView Message, const char* File, int Line) {
    throw EAssertionFailed(FormatText(u"%s (%s, line %d)", Message, SourceLocation(File), Line));
}

void RaiseAssertion(const char* Message, const char* File, int Line) {
    RaiseAssertion(AsciiToWide(Message), File, Line);
}

void RaiseReadError() {
    throw EReadError(u"Stream read error");
}
void RaiseWriteError() {
    throw EWriteError(u"Stream write error");
}

void RaiseListIndexError(int64_t Index) {
    throw EListError(FormatText(u"List index out of bounds (%d)", Index));
}

void RaiseAbstractError() {
    throw EAbstractError(u"Abstract Error");
}
void RaiseDecompressionError() {
    throw EZDecompressionError(u"Error");
}
void RaiseCompressionError() {
    throw EZCompressionError(u"Error");
}

void RaiseResNotFound(WideStringView Name) {
    throw EResNotFound(FormatText(u"Resource %s not found", Name));
}

void RaiseInvalidInteger(WideStringView Text) {
    throw EConvertError(FormatText(u"'%s' is not a valid integer value", Text));
}
