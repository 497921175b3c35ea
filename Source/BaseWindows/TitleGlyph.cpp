#include "TitleGlyph.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float Design = 32;

float DistanceToSegment(float Px, float Py, float Ax, float Ay, float Bx, float By) {
    const float Dx = Bx - Ax, Dy = By - Ay;
    const float T = std::clamp(((Px - Ax) * Dx + (Py - Ay) * Dy) / (Dx * Dx + Dy * Dy), 0.0f, 1.0f);
    return std::hypot(Px - (Ax + T * Dx), Py - (Ay + T * Dy));
}

// Whether a point of the design lies in the shape: a bar of columns 11 to 20 on rows 19 and
// 20, or two diagonals of the 16 x 16 square in the middle, 3 pixels wide.
bool Inside(TTitleGlyph::TShape Shape, float X, float Y) {
    if (Shape == TTitleGlyph::Minimize) return X >= 11 && X < 21 && Y >= 19 && Y < 21;
    return std::min(DistanceToSegment(X, Y, 8, 8, 24, 24), DistanceToSegment(X, Y, 24, 8, 8, 24)) <=
           1.5f;
}

// White with each pixel's coverage, from 8 x 8 samples, as its opacity.
std::vector<uint32_t> Render(TTitleGlyph::TShape Shape, int Size) {
    constexpr int Samples = 8;
    std::vector<uint32_t> Pixels(size_t(Size) * size_t(Size));
    const float Step = Design / float(Size);
    for (int Y = 0; Y < Size; ++Y)
        for (int X = 0; X < Size; ++X) {
            int Covered = 0;
            for (int Sy = 0; Sy < Samples; ++Sy)
                for (int Sx = 0; Sx < Samples; ++Sx)
                    Covered += Inside(Shape, (float(X) + (float(Sx) + 0.5f) / Samples) * Step,
                                      (float(Y) + (float(Sy) + 0.5f) / Samples) * Step);
            const uint32_t Alpha =
                uint32_t(255 * Covered + Samples * Samples / 2) / (Samples * Samples);
            Pixels[size_t(Y) * size_t(Size) + size_t(X)] = Alpha << 24 | 0xFFFFFF;
        }
    return Pixels;
}

} // namespace

void TTitleGlyph::Paint(HDC Dc) {
    const RECT Box = BoundsRect();
    const int Size = std::min(Box.right - Box.left, Box.bottom - Box.top);
    if (Size <= 0) return;
    if (Size != FSize || !FBitmap) {
        FBitmap.reset();
        FPixels = Render(FShape, Size);
        FSize = Size;
        try {
            FBitmap = GdiPlus::CreateBitmap(Size, Size, FPixels.data());
        } catch (const Exception&) {
            return; // no GDI+: the window goes on without its glyphs, as without its pictures
        }
    }
    GdiPlus::DrawImage(Dc, FBitmap.get(), float(Box.left), float(Box.top), float(Size),
                       float(Size));
}
