#include "PngImage.h"

#include "LxExceptions.h"

#include <cstring>

void TPngImage::LoadFromBytes(const uint8_t* Data, size_t Size) {
    static const uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (Size < sizeof(Signature) || std::memcmp(Data, Signature, sizeof(Signature)) != 0)
        throw Exception(u"Invalid PNG image");
    GdiPlus::TImagePtr Image = GdiPlus::LoadImage(Data, Size);
    GdiPlus::ImageSize(Image.get(), FWidth, FHeight);
    FImage = std::move(Image);
}

std::vector<uint8_t> TPngImage::SaveToBytes() const {
    if (!FImage) throw Exception(u"Invalid PNG image");
    return GdiPlus::SavePng(FImage.get());
}
