#pragma once

#include "LxTypes.h"

#include <initializer_list>
#include <optional>
#include <vector>

// Paths: a delimiter is a backslash or a colon.
WideString ExtractFilePath(WideStringView Path);
WideString ExtractFileName(WideStringView Path);
WideString ExtractFileExt(WideStringView Path);
WideString ExtractFileTitle(WideStringView Path);
WideString IncludeTrailingBackslash(WideStringView Path);
WideString ExcludeTrailingBackslash(WideStringView Path);

// Removes every character up to U+0020 from both ends.
WideString Trim(WideStringView Text);

char16_t WideUpperChar(char16_t C);
WideString WideUpperCase(WideStringView Text);
// Case-insensitive equality: the user's locale on Windows; elsewhere a fold of ASCII, Latin,
// Greek, Cyrillic and full-width letters.
bool SameText(WideStringView A, WideStringView B);
// Position of Needle in Text at or after From, ignoring case; npos when absent.
size_t FindText(WideStringView Text, WideStringView Needle, size_t From = 0);
bool SameAsciiText(std::string_view A, std::string_view B);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
WideString StringReplace(WideStringView Text, WideStringView OldPattern, WideStringView NewPattern,
                         unsigned Flags);

// One argument of FormatText: "%s" takes a text, "%d" an integer.
class TFormatArg {
public:
    TFormatArg(WideStringView Text) : FText(Text), FIsText(true) {}
    TFormatArg(const WideString& Text) : FText(Text), FIsText(true) {}
    TFormatArg(const char16_t* Text) : FText(Text), FIsText(true) {}
    TFormatArg(int Value) : FValue(Value) {}
    TFormatArg(long Value) : FValue(Value) {}
    TFormatArg(long long Value) : FValue(Value) {}
    TFormatArg(unsigned Value) : FValue(Value) {}

    bool IsText() const { return FIsText; }
    WideStringView Text() const { return FText; }
    int64_t Value() const { return FValue; }

private:
    WideStringView FText;
    int64_t FValue = 0;
    bool FIsText = false;
};

WideString FormatTextList(WideStringView Format, std::initializer_list<TFormatArg> Args);

template <class... TArgs>
WideString FormatText(WideStringView Format, const TArgs&... Args) {
    return FormatTextList(Format, {TFormatArg(Args)...});
}

WideString IntToStr(int64_t Value);
// Decimal with an optional sign, or hexadecimal after "$", "x" or "0x"; leading blanks allowed.
bool TryStrToInt(WideStringView Text, int32_t& Value);
bool TryStrToInt64(WideStringView Text, int64_t& Value);
// Raises the conversion error "'%s' is not a valid integer value".
int32_t StrToInt(WideStringView Text);

// The user's decimal separator, read from the system once; tests may change it.
char16_t GetDecimalSeparator();
void SetDecimalSeparator(char16_t Separator);
// General form with at most 15 significant digits.
WideString FloatToText(double Value, char16_t DecimalSeparator);
// Accepts the given separator and also a full stop, so texts written under another locale load.
bool TryTextToFloat(WideStringView Text, double& Value, char16_t DecimalSeparator);

RawByteString WideToUtf8(WideStringView Text);
WideString Utf8ToWide(std::string_view Bytes);
// For literals and identifiers known to be ASCII.
WideString AsciiToWide(std::string_view Text);

// The program name at index 0, then every parameter.
std::vector<WideString> SplitCommandLine(WideStringView CommandLine);

// The run's own options taken out of the parameters: "/Dir=PATH", and "/Log=FILE" or "/Log"
// alone, names without regard to case, the last of each winning. What remains decides the mode
// by the one-argument rule, as it did before these options.
struct TRunOptions {
    std::vector<WideString> Rest;
    std::optional<WideString> Dir;
    std::optional<WideString> Log; // empty: the default place
};
TRunOptions TakeRunOptions(const std::vector<WideString>& Parameters);
