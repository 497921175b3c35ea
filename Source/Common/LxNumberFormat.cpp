#include "LxStrUtils.h"

#include "LxExceptions.h"
#include "LxPlatform.h"

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

WideString FormatTextList(WideStringView Format, std::initializer_list<TFormatArg> Args) {
    WideString Result;
    auto Next = Args.begin();
    for (size_t I = 0; I < Format.size(); ++I) {
        const char16_t C = Format[I];
        if (C != u'%' || I + 1 == Format.size()) {
            Result += C;
            continue;
        }
        const char16_t Spec = Format[++I];
        if (Spec == u'%') {
            Result += u'%';
            continue;
        }
        const bool WantsText = Spec == u's';
        if ((Spec != u's' && Spec != u'd') || Next == Args.end() || Next->IsText() != WantsText)
            throw EConvertError(FormatText(u"Format '%s' invalid or incompatible with argument",
                                           WideString(Format)));
        Result += WantsText ? WideString(Next->Text()) : IntToStr(Next->Value());
        ++Next;
    }
    return Result;
}

WideString IntToStr(int64_t Value) {
    return AsciiToWide(std::to_string(Value));
}

namespace {

template <class T>
bool ParseInteger(WideStringView Text, T& Value) {
    using U = std::make_unsigned_t<T>;
    size_t I = 0;
    const size_t N = Text.size();
    while (I < N && Text[I] == u' ')
        ++I;
    bool Negative = false;
    if (I < N && (Text[I] == u'-' || Text[I] == u'+')) Negative = Text[I++] == u'-';
    bool Hex = false;
    if (I < N && (Text[I] == u'$' || Text[I] == u'x' || Text[I] == u'X')) {
        Hex = true;
        ++I;
    } else if (I + 1 < N && Text[I] == u'0' && (Text[I + 1] == u'x' || Text[I + 1] == u'X')) {
        Hex = true;
        I += 2;
    }
    if (I == N) return false;
    // Hexadecimal texts may use the full unsigned range and wrap, as "$FFFFFFFF" is -1.
    const uint64_t Limit = Hex        ? uint64_t(std::numeric_limits<U>::max())
                           : Negative ? uint64_t(std::numeric_limits<T>::max()) + 1
                                      : uint64_t(std::numeric_limits<T>::max());
    const unsigned Base = Hex ? 16 : 10;
    uint64_t Magnitude = 0;
    for (; I < N; ++I) {
        const char16_t C = Text[I];
        unsigned Digit;
        if (C >= u'0' && C <= u'9')
            Digit = C - u'0';
        else if (Hex && C >= u'a' && C <= u'f')
            Digit = C - u'a' + 10;
        else if (Hex && C >= u'A' && C <= u'F')
            Digit = C - u'A' + 10;
        else
            return false;
        if (Magnitude > (Limit - Digit) / Base) return false;
        Magnitude = Magnitude * Base + Digit;
    }
    U Bits = static_cast<U>(Magnitude);
    if (Negative) Bits = static_cast<U>(U(0) - Bits);
    Value = static_cast<T>(Bits);
    return true;
}

} // namespace

bool TryStrToInt(WideStringView Text, int32_t& Value) {
    return ParseInteger(Text, Value);
}
bool TryStrToInt64(WideStringView Text, int64_t& Value) {
    return ParseInteger(Text, Value);
}

int32_t StrToInt(WideStringView Text) {
    int32_t Value = 0;
    if (!TryStrToInt(Text, Value)) RaiseInvalidInteger(Text);
    return Value;
}

namespace {
char16_t GDecimalSeparator = 0;
}

char16_t GetDecimalSeparator() {
    if (GDecimalSeparator == 0) GDecimalSeparator = PlatformDecimalSeparator();
    return GDecimalSeparator;
}

void SetDecimalSeparator(char16_t Separator) {
    GDecimalSeparator = Separator;
}

namespace {

// Value times 10^Power in extended precision; exact powers up to 10^27 keep the error within
// a unit of the last of 64 mantissa bits per step, far below the 15 digits the texts carry.
long double ScaleByPowerOfTen(long double Value, int Power) {
    long double Step = 1;
    const bool Up = Power > 0;
    for (int Left = Up ? Power : -Power; Left > 0;) {
        const int Take = Left > 27 ? 27 : Left;
        Step = 1;
        for (int I = 0; I < Take; ++I)
            Step *= 10;
        Value = Up ? Value * Step : Value / Step;
        Left -= Take;
    }
    return Value;
}

// The 15 significant digits of a positive finite value, rounded, and its decimal exponent.
void SignificantDigits(double Value, std::string& Digits, int& Exponent) {
    const long double Wide = Value;
    Exponent = int(std::floor(std::log10(Value)));
    long double Scaled = ScaleByPowerOfTen(Wide, 14 - Exponent);
    if (Scaled >= 1e15L) {
        ++Exponent;
        Scaled = ScaleByPowerOfTen(Wide, 14 - Exponent);
    } else if (Scaled < 1e14L) {
        --Exponent;
        Scaled = ScaleByPowerOfTen(Wide, 14 - Exponent);
    }
    uint64_t Mantissa = uint64_t(std::llround(Scaled));
    if (Mantissa >= 1000000000000000ULL) {
        Mantissa /= 10;
        ++Exponent;
    }
    Digits = std::to_string(Mantissa);
}

// Digits with an optional sign, full stop and exponent, as TryTextToFloat has checked them.
double ParseDecimal(const std::string& Text) {
    size_t I = 0;
    const bool Negative = Text[I] == '-';
    if (Text[I] == '-' || Text[I] == '+') ++I;
    uint64_t Mantissa = 0;
    int Exponent = 0;
    int Significant = 0;
    bool Fraction = false;
    for (; I < Text.size() && Text[I] != 'e'; ++I) {
        if (Text[I] == '.') {
            Fraction = true;
            continue;
        }
        const unsigned Digit = unsigned(Text[I] - '0');
        // Beyond 19 digits only the magnitude counts.
        if (Significant < 19) {
            if (Mantissa || Digit) ++Significant;
            Mantissa = Mantissa * 10 + Digit;
            if (Fraction) --Exponent;
        } else if (!Fraction) {
            ++Exponent;
        }
    }
    if (I < Text.size()) {
        int Power = 0;
        bool PowerNegative = false;
        ++I;
        if (Text[I] == '-' || Text[I] == '+') PowerNegative = Text[I++] == '-';
        for (; I < Text.size(); ++I)
            Power = Power < 100000 ? Power * 10 + (Text[I] - '0') : Power;
        Exponent += PowerNegative ? -Power : Power;
    }
    if (Mantissa == 0) return Negative ? -0.0 : 0.0;
    if (Exponent > 400) return Negative ? -HUGE_VAL : HUGE_VAL;
    if (Exponent < -400) return Negative ? -0.0 : 0.0;
    const double Result = double(ScaleByPowerOfTen((long double)Mantissa, Exponent));
    return Negative ? -Result : Result;
}

} // namespace

// By hand: printf's exponent form differs between C libraries and its point follows the locale.
WideString FloatToText(double Value, char16_t DecimalSeparator) {
    if (std::isnan(Value)) return u"NAN";
    if (std::isinf(Value)) return Value < 0 ? u"-INF" : u"INF";
    if (Value == 0) return u"0";
    // 15 significant digits, rounded once; the layout is then built from the digits.
    const bool Negative = Value < 0;
    std::string Digits;
    int Exponent = 0;
    SignificantDigits(std::fabs(Value), Digits, Exponent);
    while (Digits.size() > 1 && Digits.back() == '0')
        Digits.pop_back();

    WideString Result = Negative ? u"-" : u"";
    const int DigitCount = static_cast<int>(Digits.size());
    if (Exponent >= -5 && Exponent < 15) {
        if (Exponent < 0) {
            Result += u'0';
            Result += DecimalSeparator;
            Result.append(size_t(-Exponent - 1), u'0');
            Result += AsciiToWide(Digits);
        } else {
            for (int I = 0; I <= Exponent; ++I)
                Result += I < DigitCount ? char16_t(Digits[I]) : u'0';
            if (DigitCount > Exponent + 1) {
                Result += DecimalSeparator;
                Result += AsciiToWide(std::string_view(Digits).substr(size_t(Exponent) + 1));
            }
        }
    } else {
        Result += char16_t(Digits[0]);
        if (DigitCount > 1) {
            Result += DecimalSeparator;
            Result += AsciiToWide(std::string_view(Digits).substr(1));
        }
        Result += u'E';
        Result += IntToStr(Exponent);
    }
    return Result;
}

bool TryTextToFloat(WideStringView Text, double& Value, char16_t DecimalSeparator) {
    size_t I = 0;
    size_t N = Text.size();
    while (I < N && Text[I] == u' ')
        ++I;
    while (N > I && Text[N - 1] == u' ')
        --N;
    std::string Ascii;
    if (I < N && (Text[I] == u'-' || Text[I] == u'+')) Ascii += char(Text[I++]);
    size_t Digits = 0;
    auto TakeDigits = [&] {
        while (I < N && Text[I] >= u'0' && Text[I] <= u'9') {
            Ascii += char(Text[I++]);
            ++Digits;
        }
    };
    TakeDigits();
    if (I < N && (Text[I] == DecimalSeparator || Text[I] == u'.')) {
        Ascii += '.';
        ++I;
        TakeDigits();
    }
    if (Digits == 0) return false;
    if (I < N && (Text[I] == u'e' || Text[I] == u'E')) {
        Ascii += 'e';
        ++I;
        if (I < N && (Text[I] == u'-' || Text[I] == u'+')) Ascii += char(Text[I++]);
        Digits = 0;
        TakeDigits();
        if (Digits == 0) return false;
    }
    if (I != N) return false;
    const double Parsed = ParseDecimal(Ascii);
    if (std::isinf(Parsed) || std::isnan(Parsed)) return false;
    Value = Parsed;
    return true;
}
