#pragma once

#include "LxExceptions.h"
#include "LxTypes.h"

#include <windows.h>

// Colours are 0x00BBGGRR, as the script stores them and GDI takes them.
using TColor = uint32_t;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clGrayText = 0x808080;

inline const wchar_t* W(const WideString& Text) {
    return reinterpret_cast<const wchar_t*>(Text.c_str());
}
inline WideString FromW(const wchar_t* Text) {
    return Text ? WideString(reinterpret_cast<const char16_t*>(Text)) : WideString();
}

// The system colour behind a COLOR_* index.
inline TColor SystemColor(int Index) {
    return GetSysColor(Index);
}

// Modal results.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5
};

enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = unsigned;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
