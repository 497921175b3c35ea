#include "PeImage.h"
#include "PeLayout.h"

#include "BuildError.h"
#include "LxStrUtils.h"

#include <algorithm>
#include <limits>
#include <map>

using namespace PeLayout;

namespace {

void Put16(uint8_t* P, uint16_t Value) {
    P[0] = uint8_t(Value);
    P[1] = uint8_t(Value >> 8);
}

void Put32(uint8_t* P, uint32_t Value) {
    for (int I = 0; I < 4; ++I)
        P[I] = uint8_t(Value >> (8 * I));
}

uint64_t AlignUp(uint64_t Value, uint64_t Alignment) {
    return (Value + Alignment - 1) / Alignment * Alignment;
}

// Directory order: named entries first by their upper-case name, then IDs ascending.
struct TKeyOrder {
    bool operator()(const TResourceKey& A, const TResourceKey& B) const {
        if (A.IsId() != B.IsId()) return !A.IsId();
        if (A.IsId()) return A.Id < B.Id;
        return WideUpperCase(A.Name) < WideUpperCase(B.Name);
    }
};

using TLanguageMap = std::map<uint16_t, const TResource*>;
using TNameMap = std::map<TResourceKey, TLanguageMap, TKeyOrder>;
using TTypeMap = std::map<TResourceKey, TNameMap, TKeyOrder>;

WideString DescribeKey(const TResourceKey& Key) {
    return Key.IsId() ? IntToStr(Key.Id) : WideUpperCase(Key.Name);
}

// Lays the tree out as the system reads it: the directory tables breadth-first (root, types,
// names), then the data entries, the name strings, and the data, each blob on an 8-byte
// boundary. Data entries hold RVAs, hence BaseRva.
class TResourceWriter {
public:
    TResourceWriter(const TResourceTree& Tree, uint32_t BaseRva, WideStringView FileName)
        : FBaseRva(BaseRva), FFileName(FileName) {
        for (const TResource& Item : Tree.Items) {
            if (Item.Type.Name.size() > 0xFFFF || Item.Name.Name.size() > 0xFFFF) TooLarge();
            const TResource*& Slot = FTypes[Item.Type][Item.Name][Item.Language];
            if (Slot)
                RaiseBuildError(FFileName, u"the resource " + DescribeKey(Item.Type) + u"/" +
                                               DescribeKey(Item.Name) + u"/" +
                                               IntToStr(Item.Language) + u" is listed twice");
            Slot = &Item;
        }
        Layout();
    }

    // Bytes of the section's content, before the file alignment.
    size_t Size() const { return FSize; }

    // Writes Size() bytes, which the caller has zeroed.
    void Write(uint8_t* Out) const {
        size_t Directory = 0;
        size_t NextDirectory = TableSize(FTypes.size());
        size_t DataEntry = FDataEntries;
        size_t String = FStrings;
        size_t Blob = FBlobs;

        auto PutKey = [&](uint8_t* Entry, const TResourceKey& Key) {
            if (Key.IsId()) {
                Put32(Entry, Key.Id);
                return;
            }
            const WideString Name = WideUpperCase(Key.Name);
            Put32(Entry, uint32_t(String) | HighBit);
            Put16(Out + String, uint16_t(Name.size()));
            for (size_t I = 0; I < Name.size(); ++I)
                Put16(Out + String + 2 + 2 * I, Name[I]);
            String += 2 + 2 * Name.size();
        };
        // Breadth-first: a table's subdirectories are placed after every table of its level.
        // Returns the table's first entry.
        auto PutTable = [&](const auto& Map) {
            uint8_t* Table = Out + Directory;
            size_t Named = 0;
            for (const auto& [Key, Child] : Map)
                Named += IsNamed(Key) ? 1 : 0;
            Put16(Table + 12, uint16_t(Named));
            Put16(Table + 14, uint16_t(Map.size() - Named));
            Directory += TableSize(Map.size());
            return Table + ResourceDirectorySize;
        };
        // The type and name levels, whose entries point at the tables of the next level.
        auto PutParentTable = [&](const auto& Map) {
            uint8_t* Entry = PutTable(Map);
            for (const auto& [Key, Children] : Map) {
                PutKey(Entry, Key);
                Put32(Entry + 4, uint32_t(NextDirectory) | HighBit);
                NextDirectory += TableSize(Children.size());
                Entry += ResourceEntrySize;
            }
        };

        PutParentTable(FTypes);
        for (const auto& [Type, Names] : FTypes)
            PutParentTable(Names);
        for (const auto& [Type, Names] : FTypes)
            for (const auto& [Name, Languages] : Names) {
                uint8_t* Entry = PutTable(Languages);
                for (const auto& [Language, Item] : Languages) {
                    Put32(Entry, Language);
                    Put32(Entry + 4, uint32_t(DataEntry));
                    Put32(Out + DataEntry, uint32_t(FBaseRva + Blob));
                    Put32(Out + DataEntry + 4, uint32_t(Item->Data.size()));
                    Put32(Out + DataEntry + 8, Item->CodePage);
                    DataEntry += ResourceDataEntrySize;
                    std::copy(Item->Data.begin(), Item->Data.end(), Out + Blob);
                    Blob = AlignUp(Blob + Item->Data.size(), 8);
                    Entry += ResourceEntrySize;
                }
            }
    }

private:
    uint32_t FBaseRva;
    WideStringView FFileName;
    TTypeMap FTypes;
    size_t FDataEntries = 0;
    size_t FStrings = 0;
    size_t FBlobs = 0;
    size_t FSize = 0;

    [[noreturn]] void TooLarge() const {
        RaiseBuildError(FFileName, u"the resources are too large for a PE image");
    }

    static bool IsNamed(const TResourceKey& Key) { return !Key.IsId(); }
    static bool IsNamed(uint16_t /*Language*/) { return false; }

    static size_t TableSize(size_t Entries) {
        return ResourceDirectorySize + ResourceEntrySize * Entries;
    }

    static size_t StringSize(const TResourceKey& Key) {
        return Key.IsId() ? 0 : 2 + 2 * Key.Name.size();
    }

    // A table counts its named and its ID entries in 16 bits each.
    template <class TMap>
    void CheckCount(const TMap& Map) const {
        if (Map.size() > 0xFFFF) TooLarge();
    }

    void Layout() {
        CheckCount(FTypes);
        uint64_t Tables = TableSize(FTypes.size());
        uint64_t Strings = 0;
        uint64_t DataEntries = 0;
        uint64_t Blobs = 0;
        for (const auto& [Type, Names] : FTypes) {
            CheckCount(Names);
            Tables += TableSize(Names.size());
            Strings += StringSize(Type);
            for (const auto& [Name, Languages] : Names) {
                Tables += TableSize(Languages.size());
                Strings += StringSize(Name);
                DataEntries += ResourceDataEntrySize * Languages.size();
                for (const auto& [Language, Item] : Languages)
                    Blobs += AlignUp(Item->Data.size(), 8);
            }
        }
        FDataEntries = Tables;
        FStrings = Tables + DataEntries;
        FBlobs = AlignUp(FStrings + Strings, 8);
        // Every offset and RVA written is 32 bits wide.
        const uint64_t Size = FBlobs + Blobs;
        if (Size > std::numeric_limits<uint32_t>::max() - uint64_t(FBaseRva)) TooLarge();
        FSize = size_t(Size);
    }
};

} // namespace

void PeLayout::CheckResourceLayout(const TResourceTree& Tree, uint32_t BaseRva,
                                   WideStringView FileName) {
    TResourceWriter Check(Tree, BaseRva, FileName);
}

std::vector<uint8_t> TPeImage::WithResources(const TResourceTree& Tree) const {
    const uint8_t* Section = FBytes.data() + FResourceSectionHeader;
    const uint32_t VirtualAddress = Get32(Section + SecVirtualAddress);
    const uint32_t OldRawSize = Get32(Section + SecSizeOfRawData);
    const uint32_t OldPointerToRawData = Get32(Section + SecPointerToRawData);
    const uint8_t* Optional = FBytes.data() + FOptionalHeader;
    const uint32_t SectionAlignment = Get32(Optional + OptSectionAlignment);
    const uint32_t FileAlignment = Get32(Optional + OptFileAlignment);

    const TResourceWriter Writer(Tree, VirtualAddress, FFileName);
    // The section starts and ends on a page boundary of the file, so that a loader can map the
    // package from the file instead of copying it into private memory.
    constexpr uint32_t PageSize = 4096;
    const uint32_t PointerToRawData =
        uint32_t(AlignUp(OldPointerToRawData, std::max(FileAlignment, PageSize)));
    const uint64_t RawSize = AlignUp(Writer.Size(), std::max(FileAlignment, PageSize));
    const uint64_t ImageSize = AlignUp(uint64_t(VirtualAddress) + Writer.Size(), SectionAlignment);
    if (RawSize > std::numeric_limits<uint32_t>::max() ||
        ImageSize > std::numeric_limits<uint32_t>::max() ||
        PointerToRawData + RawSize > std::numeric_limits<uint32_t>::max())
        RaiseBuildError(FFileName, u"the resources are too large for a PE image");

    // Written in place: the data is copied once, however large the package.
    std::vector<uint8_t> Out(size_t(PointerToRawData + RawSize), 0);
    std::copy(FBytes.begin(), FBytes.begin() + OldPointerToRawData, Out.begin());
    Writer.Write(Out.data() + PointerToRawData);

    uint8_t* Header = Out.data() + FResourceSectionHeader;
    Put32(Header + SecPointerToRawData, PointerToRawData);
    Put32(Header + SecVirtualSize, uint32_t(Writer.Size()));
    Put32(Header + SecSizeOfRawData, uint32_t(RawSize));
    uint8_t* NewOptional = Out.data() + FOptionalHeader;
    const size_t Directories = (FIs64 ? OptNumberOfRvaAndSizes64 : OptNumberOfRvaAndSizes32) + 4;
    Put32(NewOptional + Directories + 8 * ResourceDirectory, VirtualAddress);
    Put32(NewOptional + Directories + 8 * ResourceDirectory + 4, uint32_t(Writer.Size()));
    // The signature covered the old bytes, and its table is not copied.
    if (FSigned) {
        Put32(NewOptional + Directories + 8 * SecurityDirectory, 0);
        Put32(NewOptional + Directories + 8 * SecurityDirectory + 4, 0);
    }
    Put32(NewOptional + OptSizeOfImage, uint32_t(ImageSize));
    // Modulo 2^32 on purpose: the field moves by the raw-size change, whichever sign it has.
    Put32(NewOptional + OptSizeOfInitializedData,
          Get32(NewOptional + OptSizeOfInitializedData) + uint32_t(RawSize) - OldRawSize);
    Put32(NewOptional + OptCheckSum,
          ComputePeChecksum(Out.data(), Out.size(), FOptionalHeader + OptCheckSum));
    return Out;
}

uint32_t ComputePeChecksum(const uint8_t* Data, size_t Size, size_t ChecksumOffset) {
    // Plain 64-bit sums fold to the same one's-complement result as folding after every word.
    uint64_t Sum = 0;
    const size_t Words = Size / 2;
    for (size_t I = 0; I < Words; ++I)
        Sum += Get16(Data + 2 * I);
    if (Size % 2) Sum += Data[Size - 1];
    // Take the checksum field back out: its bytes count as zero.
    for (size_t At = ChecksumOffset; At < ChecksumOffset + 4 && At < Size; ++At)
        Sum -= uint64_t(Data[At]) << (At % 2 ? 8 : 0);
    while (Sum > 0xFFFF)
        Sum = (Sum & 0xFFFF) + (Sum >> 16);
    return uint32_t(Sum + Size);
}
