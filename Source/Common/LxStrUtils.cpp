#include "LxStrUtils.h"

#include <vector>

WideString Trim(WideStringView Text) {
    size_t First = 0;
    size_t Last = Text.size();
    while (First < Last && Text[First] <= u' ')
        ++First;
    while (Last > First && Text[Last - 1] <= u' ')
        --Last;
    return WideString(Text.substr(First, Last - First));
}

char16_t WideUpperChar(char16_t C) {
    if (C < 0x80) return (C >= u'a' && C <= u'z') ? char16_t(C - 32) : C;
    if (C >= 0xE0 && C <= 0xFE && C != 0xF7) return char16_t(C - 32);
    if (C == 0xFF) return 0x178;
    if (C >= 0x100 && C <= 0x17E) {
        // Latin Extended-A pairs letters as upper/lower, with two runs that start one later.
        if (C == 0x130 || C == 0x131 || C == 0x138 || C == 0x149 || C == 0x178) return C;
        const bool OddUpper = (C >= 0x139 && C <= 0x148) || (C >= 0x179 && C <= 0x17E);
        const bool IsLower = OddUpper ? (C % 2 == 0) : (C % 2 == 1);
        return IsLower ? char16_t(C - 1) : C;
    }
    if (C == 0x3C2) return 0x3A3; // final sigma
    if (C >= 0x3B1 && C <= 0x3CB) return char16_t(C - 32);
    if (C >= 0x430 && C <= 0x44F) return char16_t(C - 32);
    if (C >= 0x450 && C <= 0x45F) return char16_t(C - 80);
    if (C >= 0xFF41 && C <= 0xFF5A) return char16_t(C - 32);
    return C;
}

WideString WideUpperCase(WideStringView Text) {
    WideString Result(Text);
    for (char16_t& C : Result)
        C = WideUpperChar(C);
    return Result;
}

size_t FindText(WideStringView Text, WideStringView Needle, size_t From) {
    const size_t M = Needle.size();
    if (M == 0 || M > Text.size()) return WideStringView::npos;
    // Knuth-Morris-Pratt: linear whatever the texts, where trying every position could take
    // their product (a long name that nearly matches everywhere). Fallback[I] is the length of
    // the longest proper prefix of Needle[0..I] that is also its suffix.
    const WideString Upper = WideUpperCase(Needle);
    std::vector<size_t> Fallback(M, 0);
    for (size_t I = 1, K = 0; I < M; ++I) {
        while (K > 0 && Upper[I] != Upper[K])
            K = Fallback[K - 1];
        if (Upper[I] == Upper[K]) ++K;
        Fallback[I] = K;
    }
    for (size_t I = From, K = 0; I < Text.size(); ++I) {
        const char16_t C = WideUpperChar(Text[I]);
        while (K > 0 && C != Upper[K])
            K = Fallback[K - 1];
        if (C == Upper[K] && ++K == M) return I + 1 - M;
    }
    return WideStringView::npos;
}

bool SameAsciiText(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I) {
        char X = A[I], Y = B[I];
        if (X >= 'a' && X <= 'z') X = char(X - 32);
        if (Y >= 'a' && Y <= 'z') Y = char(Y - 32);
        if (X != Y) return false;
    }
    return true;
}

WideString StringReplace(WideStringView Text, WideStringView OldPattern, WideStringView NewPattern,
                         unsigned Flags) {
    if (OldPattern.empty()) return WideString(Text);
    WideString Result;
    size_t Position = 0;
    for (;;) {
        const size_t Found = (Flags & rfIgnoreCase) ? FindText(Text, OldPattern, Position)
                                                    : Text.find(OldPattern, Position);
        if (Found == WideStringView::npos) break;
        Result.append(Text.substr(Position, Found - Position));
        Result.append(NewPattern);
        Position = Found + OldPattern.size();
        if (!(Flags & rfReplaceAll)) break;
    }
    Result.append(Text.substr(Position));
    return Result;
}

WideString AsciiToWide(std::string_view Text) {
    return WideString(Text.begin(), Text.end());
}
