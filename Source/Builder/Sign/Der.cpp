#include "Der.h"

#include "BuildError.h"
#include "LxDateUtils.h"
#include "LxStrUtils.h"

#include <cstring>

namespace Der {

bool TElement::Is(const uint8_t* Bytes, size_t Count) const {
    return Size == Count && std::memcmp(Data, Bytes, Count) == 0;
}

TReader::TReader(const uint8_t* Data, size_t Size, WideStringView FileName)
    : FData(Data), FSize(Size), FFileName(FileName) {}

TReader::TReader(const TElement& Element, WideStringView FileName)
    : FData(Element.Data), FSize(Element.Size), FFileName(FileName) {
    if ((Element.Tag & 0x20) == 0) Fail(u"a primitive element where a constructed one belongs");
}

void TReader::Fail(WideStringView What) const {
    RaiseBuildError(FFileName, u"the signature is malformed (" + WideString(What) + u")");
}

TElement TReader::Next(const char16_t* What) {
    const size_t Left = FSize - FAt;
    const uint8_t* P = FData + FAt;
    if (Left < 2) Fail(WideString(What) + u" is missing");
    // Only the one-octet tags that signatures use; a larger number is refused, not skipped.
    if ((P[0] & 0x1F) == 0x1F) Fail(WideString(What) + u" has a multi-octet tag");
    size_t Header = 2;
    size_t Length = P[1];
    if (Length & 0x80) {
        const size_t Octets = Length & 0x7F;
        if (Octets == 0) Fail(WideString(What) + u" has an indefinite length");
        if (Octets > 4) Fail(WideString(What) + u" is too long");
        if (Left < 2 + Octets) Fail(WideString(What) + u" is cut short");
        Length = 0;
        for (size_t I = 0; I < Octets; ++I)
            Length = Length << 8 | P[2 + I];
        Header += Octets;
    }
    if (Length > Left - Header) Fail(WideString(What) + u" runs past its container");
    FAt += Header + Length;
    return {P[0], P + Header, Length, P, Header + Length};
}

TElement TReader::Next(uint8_t Tag, const char16_t* What) {
    const TElement Element = Next(What);
    if (Element.Tag != Tag) Fail(WideString(What) + u" has an unexpected type");
    return Element;
}

std::optional<TElement> TReader::NextIf(uint8_t Tag) {
    if (AtEnd() || FData[FAt] != Tag) return std::nullopt;
    return Next(u"an element");
}

WideString OidText(const TElement& Element) {
    WideString Text;
    uint64_t Value = 0;
    bool First = true;
    for (size_t I = 0; I < Element.Size; ++I) {
        if (Value > (UINT64_MAX >> 7)) return u"(a malformed OID)";
        Value = Value << 7 | (Element.Data[I] & 0x7F);
        if (Element.Data[I] & 0x80) continue;
        if (First) {
            const uint64_t Arc = Value < 80 ? Value / 40 : 2;
            Text = IntToStr(int64_t(Arc)) + u"." + IntToStr(int64_t(Value - 40 * Arc));
            First = false;
        } else {
            // Appended in two steps: GCC 12 misreads the temporary's copy (-Wrestrict).
            Text += u'.';
            Text += IntToStr(int64_t(Value));
        }
        Value = 0;
    }
    return Text.empty() || Value != 0 ? WideString(u"(a malformed OID)") : Text;
}

std::optional<WideString> Text(const TElement& Element) {
    WideString Text;
    switch (Element.Tag) {
    case 0x0C: // UTF8String
        Text =
            Utf8ToWide(std::string_view(reinterpret_cast<const char*>(Element.Data), Element.Size));
        break;
    case 0x13: // PrintableString
    case 0x14: // TeletexString, read as Latin-1 as most readers do
    case 0x16: // IA5String
    case 0x1A: // VisibleString
        for (size_t I = 0; I < Element.Size; ++I)
            Text += char16_t(Element.Data[I]);
        break;
    case 0x1E: // BMPString: UTF-16 big-endian
        if (Element.Size % 2) return std::nullopt;
        for (size_t I = 0; I < Element.Size; I += 2)
            Text += char16_t(Element.Data[I] << 8 | Element.Data[I + 1]);
        break;
    case 0x1C: // UniversalString: UCS-4 big-endian
        if (Element.Size % 4) return std::nullopt;
        for (size_t I = 0; I < Element.Size; I += 4) {
            const uint32_t Code = uint32_t(Element.Data[I]) << 24 | Element.Data[I + 1] << 16 |
                                  Element.Data[I + 2] << 8 | Element.Data[I + 3];
            if (Code >= 0x110000 || (Code >= 0xD800 && Code < 0xE000)) {
                Text += u'?';
            } else if (Code >= 0x10000) {
                Text += char16_t(0xD800 + ((Code - 0x10000) >> 10));
                Text += char16_t(0xDC00 + ((Code - 0x10000) & 0x3FF));
            } else {
                Text += char16_t(Code);
            }
        }
        break;
    default:
        return std::nullopt;
    }
    for (char16_t& C : Text)
        if (C < 0x20 || (C >= 0x7F && C < 0xA0)) C = u'?';
    return Text;
}

std::optional<int64_t> Time(const TElement& Element) {
    const size_t YearDigits = Element.Tag == UtcTime ? 2 : Element.Tag == GeneralizedTime ? 4 : 0;
    if (YearDigits == 0 || Element.Size != YearDigits + 11 || Element.Data[Element.Size - 1] != 'Z')
        return std::nullopt;
    int64_t Fields[6] = {};
    const size_t Widths[6] = {YearDigits, 2, 2, 2, 2, 2};
    const uint8_t* P = Element.Data;
    for (size_t I = 0; I < 6; ++I)
        for (size_t D = 0; D < Widths[I]; ++D, ++P) {
            if (*P < '0' || *P > '9') return std::nullopt;
            Fields[I] = Fields[I] * 10 + (*P - '0');
        }
    int64_t Year = Fields[0];
    if (YearDigits == 2) Year += Year < 50 ? 2000 : 1900;
    if (Fields[1] < 1 || Fields[1] > 12 || Fields[2] < 1 || Fields[2] > 31 || Fields[3] > 23 ||
        Fields[4] > 59 || Fields[5] > 60)
        return std::nullopt;
    return DaysFromCivil(Year, unsigned(Fields[1]), unsigned(Fields[2])) * 86400 +
           Fields[3] * 3600 + Fields[4] * 60 + Fields[5];
}

} // namespace Der
