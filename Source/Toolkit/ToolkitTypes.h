#pragma once

#include "LxExceptions.h"
#include "LxTypes.h"
#include "LxWinText.h"

#include <windows.h>

// Colours are 0x00BBGGRR, as the script stores them and GDI takes them.
using TColor = uint32_t;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clGrayText = 0x808080;

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
