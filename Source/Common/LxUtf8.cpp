#include "LxStrUtils.h"

// Both directions stop at the first zero character and replace what cannot be converted
// by U+FFFD, as the system converter does with no flags.

RawByteString WideToUtf8(WideStringView Text) {
    RawByteString Result;
    Result.reserve(Text.size());
    for (size_t I = 0; I < Text.size(); ++I) {
        uint32_t C = Text[I];
        if (C == 0) break;
        if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 &&
            Text[I + 1] <= 0xDFFF) {
            C = 0x10000 + ((C - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
            ++I;
        } else if (C >= 0xD800 && C <= 0xDFFF) {
            C = 0xFFFD;
        }
        if (C < 0x80) {
            Result += char(C);
        } else if (C < 0x800) {
            Result += char(0xC0 | (C >> 6));
            Result += char(0x80 | (C & 0x3F));
        } else if (C < 0x10000) {
            Result += char(0xE0 | (C >> 12));
            Result += char(0x80 | ((C >> 6) & 0x3F));
            Result += char(0x80 | (C & 0x3F));
        } else {
            Result += char(0xF0 | (C >> 18));
            Result += char(0x80 | ((C >> 12) & 0x3F));
            Result += char(0x80 | ((C >> 6) & 0x3F));
            Result += char(0x80 | (C & 0x3F));
        }
    }
    return Result;
}

WideString Utf8ToWide(std::string_view Bytes) {
    WideString Result;
    Result.reserve(Bytes.size());
    const size_t N = Bytes.size();
    size_t I = 0;
    while (I < N) {
        const uint8_t Lead = static_cast<uint8_t>(Bytes[I]);
        if (Lead == 0) break;
        if (Lead < 0x80) {
            Result += char16_t(Lead);
            ++I;
            continue;
        }
        unsigned Length;
        uint32_t C;
        // Second-byte bounds exclude overlong forms, surrogates and values above U+10FFFF.
        uint8_t Low = 0x80, High = 0xBF;
        if (Lead >= 0xC2 && Lead <= 0xDF) {
            Length = 2;
            C = Lead & 0x1F;
        } else if (Lead >= 0xE0 && Lead <= 0xEF) {
            Length = 3;
            C = Lead & 0x0F;
            if (Lead == 0xE0) Low = 0xA0;
            if (Lead == 0xED) High = 0x9F;
        } else if (Lead >= 0xF0 && Lead <= 0xF4) {
            Length = 4;
            C = Lead & 0x07;
            if (Lead == 0xF0) Low = 0x90;
            if (Lead == 0xF4) High = 0x8F;
        } else {
            Result += char16_t(0xFFFD);
            ++I;
            continue;
        }
        // A broken sequence yields one replacement for its longest valid beginning.
        size_t J = I + 1;
        bool Valid = true;
        for (unsigned K = 1; K < Length; ++K, ++J) {
            const uint8_t B = J < N ? static_cast<uint8_t>(Bytes[J]) : 0;
            const uint8_t Min = K == 1 ? Low : 0x80;
            const uint8_t Max = K == 1 ? High : 0xBF;
            if (J >= N || B < Min || B > Max) {
                Valid = false;
                break;
            }
            C = (C << 6) | (B & 0x3F);
        }
        if (!Valid) {
            Result += char16_t(0xFFFD);
            I = J;
            continue;
        }
        if (C >= 0x10000) {
            C -= 0x10000;
            Result += char16_t(0xD800 + (C >> 10));
            Result += char16_t(0xDC00 + (C & 0x3FF));
        } else {
            Result += char16_t(C);
        }
        I = J;
    }
    return Result;
}
