#include "IconResource.h"

#include "BuildError.h"

#include <algorithm>

namespace {

constexpr uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t GetBig32(const uint8_t* P) {
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}

void Add16(std::vector<uint8_t>& Out, uint16_t Value) {
    Out.push_back(uint8_t(Value));
    Out.push_back(uint8_t(Value >> 8));
}

void Add32(std::vector<uint8_t>& Out, uint32_t Value) {
    Add16(Out, uint16_t(Value));
    Add16(Out, uint16_t(Value >> 16));
}

// An icon directory stores each side in one byte; 0 stands for 256 or more.
uint8_t SideByte(uint32_t Side) {
    return Side >= 256 ? 0 : uint8_t(Side);
}

} // namespace

WideString PngProblem(const std::vector<uint8_t>& Png) {
    // Signature, then the IHDR chunk: length 13, type, width, height, ..., CRC.
    const size_t HeaderEnd = sizeof(PngSignature) + 8 + 13 + 4;
    if (Png.size() < HeaderEnd || !std::equal(PngSignature, PngSignature + 8, Png.begin()))
        return u"not a PNG image";
    const uint8_t* Chunk = Png.data() + sizeof(PngSignature);
    if (GetBig32(Chunk) != 13 || !std::equal(Chunk + 4, Chunk + 8, "IHDR"))
        return u"not a PNG image (no IHDR chunk first)";
    const uint32_t Width = GetBig32(Chunk + 8);
    const uint32_t Height = GetBig32(Chunk + 12);
    if (Width == 0 || Height == 0 || Width > 0x7FFFFFFF || Height > 0x7FFFFFFF)
        return u"not a PNG image (invalid size)";
    if (Png.size() > 0xFFFFFFFF) return u"the icon is too large";
    return u"";
}

void SetIconFromPng(TResourceTree& Tree, const std::vector<uint8_t>& Png, WideStringView FileName) {
    const WideString Problem = PngProblem(Png);
    if (!Problem.empty()) RaiseBuildError(FileName, Problem);
    const uint8_t* Chunk = Png.data() + sizeof(PngSignature);
    const uint32_t Width = GetBig32(Chunk + 8);
    const uint32_t Height = GetBig32(Chunk + 12);

    std::vector<uint8_t> Group;
    Add16(Group, 0); // reserved
    Add16(Group, 1); // icons, not cursors
    Add16(Group, 1); // one image
    Group.push_back(SideByte(Width));
    Group.push_back(SideByte(Height));
    Group.push_back(0); // colour count: not a palette image
    Group.push_back(0); // reserved
    Add16(Group, 1);    // planes
    Add16(Group, 32);   // bits per pixel
    Add32(Group, uint32_t(Png.size()));
    Add16(Group, 1); // the RT_ICON resource's ID

    Tree.RemoveType(TResourceKey::FromId(RT_ICON_ID));
    Tree.RemoveType(TResourceKey::FromId(RT_GROUP_ICON_ID));
    Tree.Set(TResourceKey::FromId(RT_ICON_ID), TResourceKey::FromId(1), LANG_NEUTRAL_ID, Png);
    Tree.Set(TResourceKey::FromId(RT_GROUP_ICON_ID), TResourceKey::FromId(1), LANG_NEUTRAL_ID,
             std::move(Group));
}
