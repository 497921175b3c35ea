#include "PeImage.h"
#include "PeLayout.h"

#include "BuildError.h"
#include "LxStrUtils.h"

#include <algorithm>
#include <unordered_set>

using namespace PeLayout;

namespace {

constexpr uint16_t MachineI386 = 0x14C;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint16_t MagicPe32 = 0x10B;
constexpr uint16_t MagicPe32Plus = 0x20B;
constexpr size_t FileHeaderSize = 20;
constexpr size_t SectionHeaderSize = 40;
constexpr uint32_t MaxDataDirectories = 16;

bool IsPowerOfTwo(uint32_t Value) {
    return Value != 0 && (Value & (Value - 1)) == 0;
}

WideString HexText(uint32_t Value) {
    static const char Digits[] = "0123456789abcdef";
    WideString Text;
    do {
        Text.insert(Text.begin(), char16_t(Digits[Value & 15]));
        Value >>= 4;
    } while (Value != 0);
    return u"0x" + Text;
}

struct TSection {
    size_t HeaderOffset = 0;
    WideString Name;
    uint32_t VirtualSize = 0;
    uint32_t VirtualAddress = 0;
    uint32_t SizeOfRawData = 0;
    uint32_t PointerToRawData = 0;

    // The loader maps VirtualSize bytes; a linker may leave it zero and mean the raw size.
    uint64_t VirtualExtent() const { return VirtualSize != 0 ? VirtualSize : SizeOfRawData; }
    uint64_t VirtualEnd() const { return uint64_t(VirtualAddress) + VirtualExtent(); }
    uint64_t RawEnd() const { return uint64_t(PointerToRawData) + SizeOfRawData; }
};

WideString SectionName(const uint8_t* P) {
    WideString Name;
    for (size_t I = 0; I < 8 && P[I] != 0; ++I)
        Name += P[I] >= 0x20 && P[I] < 0x7F ? char16_t(P[I]) : u'?';
    return Name;
}

// Reads the three levels (type, name, language) of a resource directory held in Data, whose
// first byte sits at BaseRva. Every table may be visited once, so cycles and shared tables fail
// and the work stays linear in the section size; the names and data copied, which never
// overlap in a sound image, are bounded by it too.
class TResourceReader {
public:
    TResourceReader(const uint8_t* Data, size_t Size, uint32_t BaseRva, WideStringView FileName)
        : FData(Data), FSize(Size), FBaseRva(BaseRva), FFileName(FileName), FCopyBudget(Size) {}

    std::vector<TResource> Read() {
        ReadDirectory(0, 0);
        return std::move(FItems);
    }

private:
    const uint8_t* FData;
    size_t FSize;
    uint32_t FBaseRva;
    WideStringView FFileName;
    size_t FCopyBudget;
    std::unordered_set<uint32_t> FVisited;
    std::vector<TResource> FItems;
    TResourceKey FType;
    TResourceKey FName;

    void Copying(uint64_t Bytes) {
        if (Bytes > FCopyBudget) Fail(u"names or data overlap");
        FCopyBudget -= size_t(Bytes);
    }

    [[noreturn]] void Fail(WideStringView Why) const {
        RaiseBuildError(FFileName, u"the resource directory is damaged (" + WideString(Why) + u")");
    }

    void Need(uint64_t Offset, uint64_t Size, WideStringView What) const {
        if (Offset > FSize || Size > FSize - Offset)
            Fail(WideString(What) + u" lies outside the resource section");
    }

    void Visit(uint32_t Offset) {
        if (!FVisited.insert(Offset).second) Fail(u"a table is referenced twice");
    }

    TResourceKey ReadKey(uint32_t Field) {
        if ((Field & HighBit) == 0) {
            if (Field > 0xFFFF) Fail(u"an ID does not fit in 16 bits");
            return TResourceKey::FromId(uint16_t(Field));
        }
        const uint32_t Offset = Field & ~HighBit;
        Need(Offset, 2, u"a name");
        const uint16_t Length = Get16(FData + Offset);
        if (Length == 0) Fail(u"an empty name");
        Need(uint64_t(Offset) + 2, uint64_t(Length) * 2, u"a name");
        Copying(uint64_t(Length) * 2);
        WideString Name(Length, u'\0');
        for (uint16_t I = 0; I < Length; ++I)
            Name[I] = char16_t(Get16(FData + Offset + 2 + 2 * I));
        return TResourceKey::FromName(Name);
    }

    void ReadDirectory(uint32_t Offset, int Level) {
        Visit(Offset);
        Need(Offset, ResourceDirectorySize, u"a directory");
        const size_t Count = size_t(Get16(FData + Offset + 12)) + Get16(FData + Offset + 14);
        Need(uint64_t(Offset) + ResourceDirectorySize, uint64_t(Count) * ResourceEntrySize,
             u"a directory");
        for (size_t I = 0; I < Count; ++I) {
            const uint8_t* Entry = FData + Offset + ResourceDirectorySize + I * ResourceEntrySize;
            const uint32_t NameField = Get32(Entry);
            const uint32_t DataField = Get32(Entry + 4);
            if (Level == 2 && (NameField & HighBit)) Fail(u"a language given by name");
            const TResourceKey Key = ReadKey(NameField);
            if (Level == 0) FType = Key;
            if (Level == 1) FName = Key;
            if (Level < 2) {
                if ((DataField & HighBit) == 0) Fail(u"a data entry where a directory belongs");
                ReadDirectory(DataField & ~HighBit, Level + 1);
                continue;
            }
            if (DataField & HighBit) Fail(u"a directory below the language level");
            ReadData(DataField, Key.Id);
        }
    }

    void ReadData(uint32_t Offset, uint16_t Language) {
        Visit(Offset);
        Need(Offset, ResourceDataEntrySize, u"a data entry");
        const uint32_t Rva = Get32(FData + Offset);
        const uint32_t Size = Get32(FData + Offset + 4);
        if (Rva < FBaseRva) Fail(u"resource data lies outside the resource section");
        Need(uint64_t(Rva) - FBaseRva, Size, u"resource data");
        Copying(Size);
        const uint8_t* Begin = FData + (Rva - FBaseRva);
        FItems.push_back(
            {FType, FName, Language, Get32(FData + Offset + 8), {Begin, Begin + Size}});
    }
};

} // namespace

TPeImage::TPeImage(std::vector<uint8_t> Bytes, WideString FileName)
    : FBytes(std::move(Bytes)), FFileName(std::move(FileName)) {
    auto Fail = [&](WideStringView Why) { RaiseBuildError(FFileName, Why); };
    const uint8_t* Data = FBytes.data();
    const size_t Size = FBytes.size();

    if (Size < 64 || Data[0] != 'M' || Data[1] != 'Z') Fail(u"not a PE file (no MZ header)");
    const uint32_t NewHeader = Get32(Data + 0x3C);
    if (NewHeader < 64 || uint64_t(NewHeader) + 4 + FileHeaderSize > Size)
        Fail(u"not a PE file (the PE header offset lies outside the file)");
    if (Get32(Data + NewHeader) != 0x00004550) Fail(u"not a PE file (no PE signature)");
    FNtHeaders = NewHeader;

    const uint8_t* FileHeader = Data + NewHeader + 4;
    FMachine = Get16(FileHeader);
    if (FMachine != MachineI386 && FMachine != MachineAmd64)
        Fail(u"unsupported machine type " + HexText(FMachine));
    const uint16_t SectionCount = Get16(FileHeader + 2);
    const uint16_t OptionalSize = Get16(FileHeader + 16);
    FOptionalHeader = NewHeader + 4 + FileHeaderSize;
    if (OptionalSize < 2 || FOptionalHeader + OptionalSize > Size)
        Fail(u"the optional header lies outside the file");

    const uint8_t* Optional = Data + FOptionalHeader;
    const uint16_t Magic = Get16(Optional);
    if (Magic != MagicPe32 && Magic != MagicPe32Plus)
        Fail(u"unknown optional header magic " + HexText(Magic));
    FIs64 = Magic == MagicPe32Plus;
    if (FIs64 != (FMachine == MachineAmd64))
        Fail(u"the machine type does not match the optional header");
    const size_t CountOffset = FIs64 ? OptNumberOfRvaAndSizes64 : OptNumberOfRvaAndSizes32;
    if (OptionalSize < CountOffset + 4) Fail(u"the optional header is too short");
    const uint32_t DirectoryCount = Get32(Optional + CountOffset);
    if (DirectoryCount > MaxDataDirectories ||
        CountOffset + 4 + 8 * uint64_t(DirectoryCount) > OptionalSize)
        Fail(u"the optional header size does not match its data directories");
    auto Directory = [&](uint32_t Index) -> std::pair<uint32_t, uint32_t> {
        if (Index >= DirectoryCount) return {0, 0};
        const uint8_t* Entry = Optional + CountOffset + 4 + 8 * Index;
        return {Get32(Entry), Get32(Entry + 4)};
    };

    const uint32_t SectionAlignment = Get32(Optional + OptSectionAlignment);
    const uint32_t FileAlignment = Get32(Optional + OptFileAlignment);
    if (!IsPowerOfTwo(FileAlignment) || FileAlignment > 0x10000 ||
        !IsPowerOfTwo(SectionAlignment) || SectionAlignment < FileAlignment)
        Fail(u"invalid section or file alignment");

    const uint32_t SizeOfHeaders = Get32(Optional + OptSizeOfHeaders);
    const uint64_t SectionTable = FOptionalHeader + OptionalSize;
    const uint64_t SectionTableEnd = SectionTable + uint64_t(SectionCount) * SectionHeaderSize;
    if (SectionTableEnd > Size) Fail(u"the section table lies outside the file");
    if (SectionTableEnd > SizeOfHeaders || SizeOfHeaders > Size)
        Fail(u"the section table lies outside the headers");

    std::vector<TSection> Sections(SectionCount);
    for (uint16_t I = 0; I < SectionCount; ++I) {
        TSection& Section = Sections[I];
        Section.HeaderOffset = size_t(SectionTable) + I * SectionHeaderSize;
        const uint8_t* Header = Data + Section.HeaderOffset;
        Section.Name = SectionName(Header);
        Section.VirtualSize = Get32(Header + SecVirtualSize);
        Section.VirtualAddress = Get32(Header + SecVirtualAddress);
        Section.SizeOfRawData = Get32(Header + SecSizeOfRawData);
        Section.PointerToRawData = Get32(Header + SecPointerToRawData);
        if (Section.SizeOfRawData != 0 && Section.RawEnd() > Size)
            Fail(u"the section " + Section.Name + u" lies outside the file");
    }

    // A signature is the last thing in the file; what the loader maps ends before it.
    const auto [SecurityOffset, SecuritySize] = Directory(SecurityDirectory);
    uint64_t ImageEnd = Size;
    if (SecurityOffset != 0 || SecuritySize != 0) {
        if (SecuritySize < 8 || uint64_t(SecurityOffset) + SecuritySize > Size)
            Fail(u"the certificate table lies outside the file");
        if (uint64_t(SecurityOffset) + SecuritySize != Size)
            Fail(IntToStr(int64_t(Size - SecurityOffset - SecuritySize)) +
                 u" bytes of extra data follow the certificate table");
        ImageEnd = SecurityOffset;
        FSigned = true;
    }

    const auto [ResourceRva, ResourceSize] = Directory(ResourceDirectory);
    if (ResourceRva == 0 || ResourceSize == 0) Fail(u"has no resource section");
    const TSection* Resources = nullptr;
    for (const TSection& Section : Sections)
        if (ResourceRva >= Section.VirtualAddress && ResourceRva < Section.VirtualEnd())
            Resources = &Section;
    if (!Resources) Fail(u"the resource directory lies outside every section");
    if (ResourceRva != Resources->VirtualAddress)
        Fail(u"the resource directory does not start its section " + Resources->Name);
    if (Resources->SizeOfRawData == 0) Fail(u"the resource section has no data in the file");
    // The rebuilt file keeps everything before the section's data, headers included.
    if (Resources->PointerToRawData < SizeOfHeaders)
        Fail(u"the resource section overlaps the headers");
    for (const TSection& Section : Sections) {
        if (&Section == Resources) continue;
        if (Section.VirtualEnd() > Resources->VirtualAddress ||
            (Section.SizeOfRawData != 0 && Section.RawEnd() > Resources->PointerToRawData))
            Fail(u"the resource section is not the last section");
    }
    if (Resources->RawEnd() > ImageEnd)
        Fail(u"the certificate table overlaps the resource section");
    // A signer pads the image to 8 bytes before its table.
    if (ImageEnd - Resources->RawEnd() >= (FSigned ? 8 : 1))
        Fail(IntToStr(int64_t(ImageEnd - Resources->RawEnd())) +
             u" bytes of extra data follow the resource section");
    for (uint32_t Index = 0; Index < DirectoryCount; ++Index) {
        if (Index == ResourceDirectory || Index == SecurityDirectory) continue;
        const auto [Rva, DirectorySize] = Directory(Index);
        if (DirectorySize != 0 && uint64_t(Rva) + DirectorySize > Resources->VirtualAddress &&
            Rva < Resources->VirtualEnd())
            Fail(u"data directory " + IntToStr(Index) + u" points into the resource section");
    }
    FResourceSectionHeader = Resources->HeaderOffset;

    const uint32_t Mapped =
        uint32_t(std::min<uint64_t>(Resources->VirtualExtent(), Resources->SizeOfRawData));
    TResourceReader Reader(Data + Resources->PointerToRawData, Mapped, ResourceRva, FFileName);
    FResources.Items = Reader.Read();
    // The writer refuses duplicates, so a damaged directory listing one twice fails here.
    CheckResourceLayout(FResources, ResourceRva, FFileName);
}
