#include "DefaultIcon.h"

#include <string_view>
#include <zlib.h>

namespace {

void PutBigEndian(std::vector<uint8_t>& Out, uint32_t Value) {
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(uint8_t(Value >> Shift));
}

void PutChunk(std::vector<uint8_t>& Png, std::string_view Type, const std::vector<uint8_t>& Data) {
    PutBigEndian(Png, uint32_t(Data.size()));
    const size_t Start = Png.size();
    Png.insert(Png.end(), Type.begin(), Type.end());
    Png.insert(Png.end(), Data.begin(), Data.end());
    PutBigEndian(Png, uint32_t(crc32(0, Png.data() + Start, uInt(Png.size() - Start))));
}

} // namespace

std::vector<uint8_t> MakeDefaultIconPng(uint32_t ColorBgr) {
    constexpr uint32_t Size = 64;
    constexpr int Radius = 12;
    const uint8_t R = uint8_t(ColorBgr), G = uint8_t(ColorBgr >> 8), B = uint8_t(ColorBgr >> 16);
    // A rounded square in the window colour with a white bar: recognisable, not decorative.
    std::vector<uint8_t> Raw;
    for (uint32_t Y = 0; Y < Size; ++Y) {
        Raw.push_back(0); // no filter
        for (uint32_t X = 0; X < Size; ++X) {
            const int Dx = int(X < Radius           ? Radius - X
                               : X >= Size - Radius ? X - (Size - Radius - 1)
                                                    : 0);
            const int Dy = int(Y < Radius           ? Radius - Y
                               : Y >= Size - Radius ? Y - (Size - Radius - 1)
                                                    : 0);
            const bool Inside = Dx * Dx + Dy * Dy <= Radius * Radius;
            const bool Bar = Y >= 40 && Y < 48 && X >= 16 && X < 48;
            const uint8_t Pixel[4] = {Bar ? uint8_t(255) : R, Bar ? uint8_t(255) : G,
                                      Bar ? uint8_t(255) : B, Inside ? uint8_t(255) : uint8_t(0)};
            Raw.insert(Raw.end(), Pixel, Pixel + 4);
        }
    }
    uLongf Length = compressBound(uLong(Raw.size()));
    std::vector<uint8_t> Compressed(Length);
    compress2(Compressed.data(), &Length, Raw.data(), uLong(Raw.size()), 9);
    Compressed.resize(Length);

    std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> Header;
    PutBigEndian(Header, Size);
    PutBigEndian(Header, Size);
    Header.insert(Header.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, no interlace
    PutChunk(Png, "IHDR", Header);
    PutChunk(Png, "IDAT", Compressed);
    PutChunk(Png, "IEND", {});
    return Png;
}
