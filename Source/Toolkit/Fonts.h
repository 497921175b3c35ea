#pragma once

#include "ToolkitTypes.h"

// A font as the windows describe it: face, character height in designed pixels, style, colour.
struct TFont {
    WideString Name = u"Tahoma";
    int Height = 12;
    bool Bold = false;
    bool Underline = false;
    TColor Color = GetSysColor(COLOR_WINDOWTEXT);

    // A shared GDI font at the current scale, created once per face, height and style and kept
    // to the end.
    HFONT Handle() const;
};
