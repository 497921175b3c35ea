#pragma once

#include "GdiPlus.h"

#include <vector>

// A PNG picture: the file's bytes, decoded for drawing. Saving writes the bytes it came from,
// which are a valid PNG file by construction.
class TPngImage {
public:
    // Raises when the bytes are not a PNG image that GDI+ can decode.
    void LoadFromBytes(const uint8_t* Data, size_t Size);
    const std::vector<uint8_t>& Bytes() const { return FBytes; }
    GdiPlus::TImage* Image() const { return FImage.get(); }
    unsigned Width() const { return FWidth; }
    unsigned Height() const { return FHeight; }
    bool Empty() const { return !FImage; }

private:
    std::vector<uint8_t> FBytes;
    GdiPlus::TImagePtr FImage;
    unsigned FWidth = 0, FHeight = 0;
};
