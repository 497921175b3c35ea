#include "LxGuid.h"

WideString FormatGuidText(const uint8_t (&Bytes)[16]) {
    static const char16_t Digits[] = u"0123456789ABCDEF";
    WideString Result = u"{";
    for (int I = 0; I < 16; ++I) {
        if (I == 4 || I == 6 || I == 8 || I == 10) Result += u'-';
        Result += Digits[Bytes[I] >> 4];
        Result += Digits[Bytes[I] & 15];
    }
    Result += u'}';
    return Result;
}
