#pragma once

#include "GdiPlus.h"

#include <vector>

// A PNG picture, decoded for drawing and encoded anew when saved.
class TPngImage {
public:
    // Raises when the bytes are not a PNG image that GDI+ can decode.
    void LoadFromBytes(const uint8_t* Data, size_t Size);
    // The picture as a PNG file made by the system's encoder.
    std::vector<uint8_t> SaveToBytes() const;
    GdiPlus::TImage* Image() const { return FImage.get(); }
    unsigned Width() const { return FWidth; }
    unsigned Height() const { return FHeight; }
    bool Empty() const { return !FImage; }

private:
    GdiPlus::TImagePtr FImage;
    unsigned FWidth = 0, FHeight = 0;
};
