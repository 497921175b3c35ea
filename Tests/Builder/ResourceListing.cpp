#include "ResourceListing.h"

#include "LxStrUtils.h"
#include "Pe/IconResource.h"
#include "Pe/VersionResource.h"

#include <cstdio>
#include <stdexcept>

namespace {

uint16_t Get16(const std::vector<uint8_t>& Data, size_t At) {
    if (At + 2 > Data.size()) throw std::runtime_error("version block beyond its data");
    return uint16_t(Data[At] | Data[At + 1] << 8);
}

std::string KeyText(const TResourceKey& Key) {
    return Key.IsId() ? std::to_string(Key.Id) : WideToUtf8(Key.Name);
}

size_t Align4(size_t Value) {
    return (Value + 3) & ~size_t(3);
}

std::string VersionLines(const TResourceTree& Tree) {
    const TResource* Version =
        Tree.Find(TResourceKey::FromId(RT_VERSION_ID), TResourceKey::FromId(1));
    if (!Version) return "Version: none\n";
    const TVersionBlock Root = ParseVersionBlock(Version->Data);
    // The first translation names the string table, as callers of VerQueryValue look it up.
    const TVersionBlock* Vars = Root.Child(u"VarFileInfo");
    const TVersionBlock* Translation = Vars ? Vars->Child(u"Translation") : nullptr;
    if (!Translation || Translation->Value.size() < 4) return "Version: no translation\n";
    char Table[9];
    std::snprintf(Table, sizeof(Table), "%04x%04x", Get16(Translation->Value, 0),
                  Get16(Translation->Value, 2));
    const TVersionBlock* Strings = Root.Child(u"StringFileInfo");
    const TVersionBlock* Texts = Strings ? Strings->Child(AsciiToWide(Table)) : nullptr;
    std::string Lines;
    for (const char16_t* Key : {u"ProductName", u"FileVersion"}) {
        const TVersionBlock* Value = Texts ? Texts->Child(Key) : nullptr;
        Lines += WideToUtf8(Key) + ": " + (Value ? WideToUtf8(Value->Text()) : "-") + "\n";
    }
    return Lines;
}

} // namespace

uint64_t Fnv1a64(const std::vector<uint8_t>& Data) {
    uint64_t Hash = 0xCBF29CE484222325ull;
    for (uint8_t Byte : Data)
        Hash = (Hash ^ Byte) * 0x100000001B3ull;
    return Hash;
}

std::string ResourceListing(const TPeImage& Image) {
    std::string Listing;
    for (const TResource& Item : Image.Resources().Items) {
        char Tail[64];
        std::snprintf(Tail, sizeof(Tail), " %u %zu %016llx\n", unsigned(Item.Language),
                      Item.Data.size(), static_cast<unsigned long long>(Fnv1a64(Item.Data)));
        Listing += KeyText(Item.Type) + " " + KeyText(Item.Name) + Tail;
    }
    Listing += VersionLines(Image.Resources());
    const std::vector<uint8_t>& Bytes = Image.Bytes();
    const size_t Field =
        size_t(Bytes[0x3C] | Bytes[0x3D] << 8 | Bytes[0x3E] << 16 | Bytes[0x3F] << 24) + 24 + 64;
    const uint32_t Stored = uint32_t(Bytes[Field] | Bytes[Field + 1] << 8 | Bytes[Field + 2] << 16 |
                                     uint32_t(Bytes[Field + 3]) << 24);
    char Line[64];
    std::snprintf(Line, sizeof(Line), "CheckSum: %08x %08x\n", unsigned(Stored),
                  unsigned(ComputePeChecksum(Bytes.data(), Bytes.size(), Field)));
    return Listing + Line;
}

std::vector<uint8_t> RebuildForProbe(const TPeImage& Image, const std::vector<uint8_t>& Png) {
    TResourceTree Tree = Image.Resources();
    auto Content = [](size_t Size, uint32_t Seed) {
        std::vector<uint8_t> Data(Size);
        for (uint8_t& Byte : Data) {
            Seed = Seed * 1103515245u + 12345u;
            Byte = uint8_t(Seed >> 16);
        }
        return Data;
    };
    const TResourceKey RcData = TResourceKey::FromId(RT_RCDATA_ID);
    Tree.Set(RcData, TResourceKey::FromName(u"{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}"), 0,
             Content(5000, 1));
    Tree.Set(RcData, TResourceKey::FromName(u"数据"), 0, Content(3, 2));
    Tree.Set(RcData, TResourceKey::FromName(u"License"), 0, Content(0, 3));
    Tree.Set(RcData, TResourceKey::FromId(7), 0x0409, Content(1 << 20, 4));
    Tree.Items.push_back({RcData, TResourceKey::FromId(7), 0x0804, 0, Content(777, 5)});
    Tree.Set(TResourceKey::FromName(u"Custom"), TResourceKey::FromId(1), 0, Content(17, 6));
    SetIconFromPng(Tree, Png, u"TestIcon.png");
    TVersionInfo Info;
    Info.Numbers[0] = 2;
    Info.Numbers[1] = 5;
    Info.Numbers[3] = 17;
    Info.ProductName = u"探针测试产品";
    Info.FileVersion = u"2.5.0.17";
    Info.CompanyName = u"OneSetup Tests";
    Tree.RemoveType(TResourceKey::FromId(RT_VERSION_ID));
    Tree.Set(TResourceKey::FromId(RT_VERSION_ID), TResourceKey::FromId(1), 0x0804,
             MakeVersionResource(Info));
    return Image.WithResources(Tree);
}

const TVersionBlock* TVersionBlock::Child(WideStringView ChildKey) const {
    for (const TVersionBlock& Block : Children)
        if (SameText(Block.Key, ChildKey)) return &Block;
    return nullptr;
}

WideString TVersionBlock::Text() const {
    WideString Result;
    for (size_t I = 0; I + 1 < Value.size(); I += 2)
        Result += char16_t(Value[I] | Value[I + 1] << 8);
    if (Result.empty() || Result.back() != 0)
        throw std::runtime_error("text value without terminating zero");
    Result.pop_back();
    return Result;
}

TVersionBlock ParseVersionBlock(const std::vector<uint8_t>& Data, size_t Offset) {
    if (Offset % 4) throw std::runtime_error("version block not on a 32-bit boundary");
    TVersionBlock Block;
    Block.Length = Get16(Data, Offset);
    Block.ValueLength = Get16(Data, Offset + 2);
    Block.Type = Get16(Data, Offset + 4);
    const size_t End = Offset + Block.Length;
    if (Block.Length < 6 || End > Data.size()) throw std::runtime_error("bad block length");
    if (Block.Type > 1) throw std::runtime_error("bad value type");
    size_t At = Offset + 6;
    for (;; At += 2) {
        if (At + 2 > End) throw std::runtime_error("key without terminating zero");
        const char16_t C = char16_t(Get16(Data, At));
        if (C == 0) break;
        Block.Key += C;
    }
    At = Align4(At + 2);
    // Text values count characters, binary ones bytes.
    const size_t ValueBytes = size_t(Block.ValueLength) * (Block.Type == 1 ? 2 : 1);
    if (At + ValueBytes > End) throw std::runtime_error("value beyond its block");
    Block.Value.assign(Data.begin() + At, Data.begin() + At + ValueBytes);
    At += ValueBytes;
    while (Align4(At) < End) {
        Block.Children.push_back(ParseVersionBlock(Data, Align4(At)));
        At = Align4(At) + Block.Children.back().Length;
    }
    if (At != End) throw std::runtime_error("children do not fill their block");
    return Block;
}
