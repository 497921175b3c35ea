#include "VersionResource.h"

#include "BuildError.h"

#include <utility>

namespace {

// Writes the nested blocks of a version resource. Every block starts on a 32-bit boundary;
// its length covers its children and the padding between them, not the padding after it.
class TVersionWriter {
public:
    size_t Begin(WideStringView Key, uint16_t ValueLength, uint16_t Type) {
        Align();
        const size_t Start = FOut.size();
        Add16(0); // length, known at End
        Add16(ValueLength);
        Add16(Type);
        for (char16_t C : Key)
            Add16(C);
        Add16(0);
        Align();
        return Start;
    }

    void End(size_t Start) {
        const size_t Length = FOut.size() - Start;
        if (Length > 0xFFFF)
            RaiseBuildError(u"version resource", u"the version texts are too long");
        FOut[Start] = uint8_t(Length);
        FOut[Start + 1] = uint8_t(Length >> 8);
    }

    void Add16(uint16_t Value) {
        FOut.push_back(uint8_t(Value));
        FOut.push_back(uint8_t(Value >> 8));
    }

    void Add32(uint32_t Value) {
        Add16(uint16_t(Value));
        Add16(uint16_t(Value >> 16));
    }

    void Align() {
        while (FOut.size() % 4)
            FOut.push_back(0);
    }

    std::vector<uint8_t> Take() { return std::move(FOut); }

private:
    std::vector<uint8_t> FOut;
};

constexpr uint16_t BinaryValue = 0;
constexpr uint16_t TextValue = 1;
constexpr uint32_t FixedFileInfoSize = 13 * 4;
constexpr uint16_t SimplifiedChinese = 0x0804;
constexpr uint16_t UnicodeCodePage = 1200;

} // namespace

std::vector<uint8_t> MakeVersionResource(const TVersionInfo& Info) {
    TVersionWriter Writer;
    const size_t Root = Writer.Begin(u"VS_VERSION_INFO", FixedFileInfoSize, BinaryValue);
    const uint32_t High = uint32_t(Info.Numbers[0]) << 16 | Info.Numbers[1];
    const uint32_t Low = uint32_t(Info.Numbers[2]) << 16 | Info.Numbers[3];
    Writer.Add32(0xFEEF04BD); // signature
    Writer.Add32(0x00010000); // structure version 1.0
    Writer.Add32(High);       // file version
    Writer.Add32(Low);
    Writer.Add32(High); // product version
    Writer.Add32(Low);
    Writer.Add32(0x3F);       // flags mask
    Writer.Add32(0);          // flags
    Writer.Add32(0x00040004); // VOS_NT_WINDOWS32
    Writer.Add32(1);          // VFT_APP
    Writer.Add32(0);          // subtype
    Writer.Add32(0);          // date
    Writer.Add32(0);

    const size_t StringInfo = Writer.Begin(u"StringFileInfo", 0, TextValue);
    const size_t Table = Writer.Begin(u"080404B0", 0, TextValue);
    const std::pair<const char16_t*, const WideString*> Strings[] = {
        {u"CompanyName", &Info.CompanyName},           {u"FileDescription", &Info.FileDescription},
        {u"FileVersion", &Info.FileVersion},           {u"LegalCopyright", &Info.LegalCopyright},
        {u"OriginalFilename", &Info.OriginalFilename}, {u"ProductName", &Info.ProductName},
        {u"ProductVersion", &Info.ProductVersion},
    };
    for (const auto& [Key, Value] : Strings) {
        if (Value->empty()) continue;
        if (Value->size() >= 0xFFFF)
            RaiseBuildError(u"version resource", u"the version texts are too long");
        // Text values count their characters, the terminating zero included.
        const size_t String = Writer.Begin(Key, uint16_t(Value->size() + 1), TextValue);
        for (char16_t C : *Value)
            Writer.Add16(C);
        Writer.Add16(0);
        Writer.End(String);
    }
    Writer.End(Table);
    Writer.End(StringInfo);

    const size_t VarInfo = Writer.Begin(u"VarFileInfo", 0, TextValue);
    const size_t Translation = Writer.Begin(u"Translation", 4, BinaryValue);
    Writer.Add16(SimplifiedChinese);
    Writer.Add16(UnicodeCodePage);
    Writer.End(Translation);
    Writer.End(VarInfo);
    Writer.End(Root);
    return Writer.Take();
}
