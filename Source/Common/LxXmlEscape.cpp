#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxXmlUtils.h"

void RaiseXmlError(WideStringView Message) {
    throw EXmlException(WideString(Message));
}

void RaiseXmlMismatch() {
    RaiseXmlError(u"XML 标签不匹配");
}

RawByteString XmlEscape(WideStringView Text) {
    const RawByteString Utf8 = WideToUtf8(Text);
    RawByteString Result;
    Result.reserve(Utf8.size());
    for (const char C : Utf8) {
        switch (C) {
        case '&':
            Result += "&amp;";
            break;
        case '<':
            Result += "&lt;";
            break;
        case '>':
            Result += "&gt;";
            break;
        case '"':
            Result += "&quot;";
            break;
        case '\'':
            Result += "&apos;";
            break;
        case '\t':
            Result += "&#x09;";
            break;
        case '\n':
            Result += "&#x0A;";
            break;
        case '\r':
            Result += "&#x0D;";
            break;
        default:
            Result += C;
        }
    }
    return Result;
}

namespace {

char16_t CharacterReference(std::string_view Reference) {
    // Reference is the text after '#': hexadecimal after x or X, decimal otherwise.
    const WideString Text = AsciiToWide(Reference);
    const bool Hex = !Reference.empty() && (Reference[0] == 'x' || Reference[0] == 'X');
    const std::string_view Digits = Hex ? Reference.substr(1) : Reference;
    uint64_t Number = 0;
    bool Valid = !Digits.empty();
    for (const char C : Digits) {
        unsigned Digit;
        if (C >= '0' && C <= '9')
            Digit = unsigned(C - '0');
        else if (Hex && C >= 'a' && C <= 'f')
            Digit = unsigned(C - 'a' + 10);
        else if (Hex && C >= 'A' && C <= 'F')
            Digit = unsigned(C - 'A' + 10);
        else {
            Valid = false;
            break;
        }
        Number = Number * (Hex ? 16 : 10) + Digit;
        if (Number > 0xFFFFFFFFu) {
            Valid = false;
            break;
        }
    }
    if (!Valid) RaiseInvalidInteger(Text);
    return static_cast<char16_t>(Number & 0xFFFF);
}

} // namespace

WideString XmlUnescape(std::string_view Stored) {
    WideString Result;
    size_t Position = 0;
    for (;;) {
        const size_t Amp = Stored.find('&', Position);
        Result += Utf8ToWide(Stored.substr(
            Position, Amp == std::string_view::npos ? std::string_view::npos : Amp - Position));
        if (Amp == std::string_view::npos) break;
        const size_t Semicolon = Stored.find(';', Amp + 1);
        if (Semicolon == std::string_view::npos) RaiseXmlMismatch();
        const std::string_view Reference = Stored.substr(Amp + 1, Semicolon - Amp - 1);
        LX_ASSERT(!Reference.empty());
        if (Reference[0] == '#') {
            Result += CharacterReference(Reference.substr(1));
        } else if (SameAsciiText(Reference, "lt")) {
            Result += u'<';
        } else if (SameAsciiText(Reference, "gt")) {
            Result += u'>';
        } else if (SameAsciiText(Reference, "amp")) {
            Result += u'&';
        } else if (SameAsciiText(Reference, "quot")) {
            Result += u'"';
        } else if (SameAsciiText(Reference, "apos")) {
            Result += u'\'';
        } else {
            LX_ASSERT(false);
        }
        Position = Semicolon + 1;
    }
    return Result;
}
