#pragma once

#include "GdiPlus.h"
#include "StdCtrls.h"

#include <vector>

// The branded window's minimise and close glyphs: white on the frame's colour, drawn at the
// display's scale from their shapes (a 32 x 32 design), never stretched from a small bitmap.
class TTitleGlyph : public TControl {
public:
    enum TShape { Minimize, Close };
    TTitleGlyph(TWinControl* Parent, TShape Shape) : TControl(Parent), FShape(Shape) {}
    void Paint(HDC Dc) override;

private:
    TShape FShape;
    int FSize = 0; // of the pixels below, which the bitmap draws from
    std::vector<uint32_t> FPixels;
    GdiPlus::TImagePtr FBitmap;
};
