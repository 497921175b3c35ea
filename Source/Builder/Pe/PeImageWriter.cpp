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

    // Writes Size() bytes: the tables, then each blob as it comes.
    void Write(TByteSink Sink) const {
        std::vector<uint8_t> Head(FBlobs, 0);
        uint8_t* Out = Head.data();
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
                    Put32(Out + DataEntry + 4, uint32_t(Item->Size()));
                    Put32(Out + DataEntry + 8, Item->CodePage);
                    DataEntry += ResourceDataEntrySize;
                    Blob = AlignUp(Blob + Item->Size(), 8);
                    Entry += ResourceEntrySize;
                }
            }
        Sink(Head.data(), Head.size());
        static constexpr uint8_t Zeros[8] = {};
        for (const auto& [Type, Names] : FTypes)
            for (const auto& [Name, Languages] : Names)
                for (const auto& [Language, Item] : Languages) {
                    if (Item->Stream)
                        Item->Stream(Sink);
                    else
                        Sink(Item->Data.data(), Item->Data.size());
                    Sink(Zeros, size_t(AlignUp(Item->Size(), 8) - Item->Size()));
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
                    Blobs += AlignUp(Item->Size(), 8);
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
    TMemoryStream Out;
    WriteWithResources(Tree, Out);
    return Out.Bytes();
}

uint64_t TPeImage::SizeWithResources(const TResourceTree& Tree) const {
    const uint8_t* Section = FBytes.data() + FResourceSectionHeader;
    const uint32_t FileAlignment = Get32(FBytes.data() + FOptionalHeader + OptFileAlignment);
    const TResourceWriter Writer(Tree, Get32(Section + SecVirtualAddress), FFileName);
    constexpr uint32_t PageSize = 4096;
    return AlignUp(Get32(Section + SecPointerToRawData), std::max(FileAlignment, PageSize)) +
           AlignUp(Writer.Size(), std::max(FileAlignment, PageSize));
}

uint64_t TPeImage::WriteWithResources(const TResourceTree& Tree, TStream& Out) const {
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

    // The headers and the sections before the resources, up to where the resources start.
    std::vector<uint8_t> Head(PointerToRawData, 0);
    std::copy(FBytes.begin(), FBytes.begin() + OldPointerToRawData, Head.begin());
    uint8_t* Header = Head.data() + FResourceSectionHeader;
    Put32(Header + SecPointerToRawData, PointerToRawData);
    Put32(Header + SecVirtualSize, uint32_t(Writer.Size()));
    Put32(Header + SecSizeOfRawData, uint32_t(RawSize));
    uint8_t* NewOptional = Head.data() + FOptionalHeader;
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
    Put32(NewOptional + OptCheckSum, 0);

    const int64_t Start = Out.Seek(0, soCurrent);
    TPeChecksum Checksum;
    auto Emit = [&](const uint8_t* Data, size_t Size) {
        Checksum.Add(Data, Size);
        Out.WriteBuffer(Data, int64_t(Size));
    };
    Emit(Head.data(), Head.size());
    std::vector<uint8_t>().swap(Head);
    Writer.Write(Emit);
    const std::vector<uint8_t> Tail(size_t(RawSize - Writer.Size()), 0);
    Emit(Tail.data(), Tail.size());

    uint8_t Field[4];
    Put32(Field, Checksum.Finish());
    const int64_t End = Out.Seek(0, soCurrent);
    Out.Seek(Start + int64_t(FOptionalHeader + OptCheckSum), soBeginning);
    Out.WriteBuffer(Field, 4);
    Out.Seek(End, soBeginning);
    return uint64_t(End - Start);
}

void TPeChecksum::Add(const uint8_t* Data, size_t Size) {
    if (Size == 0) return;
    size_t At = 0;
    // A piece that starts inside a word gives that word its high byte.
    if (FSize % 2) FSum += uint64_t(Data[At++]) << 8;
    // Plain 64-bit sums fold to the same one's-complement result as folding after every word.
    for (; At + 1 < Size; At += 2)
        FSum += Get16(Data + At);
    if (At < Size) FSum += Data[At];
    FSize += Size;
}

uint32_t TPeChecksum::Finish() const {
    uint64_t Sum = FSum;
    while (Sum > 0xFFFF)
        Sum = (Sum & 0xFFFF) + (Sum >> 16);
    return uint32_t(Sum + FSize);
}

uint32_t ComputePeChecksum(const uint8_t* Data, size_t Size, size_t ChecksumOffset) {
    TPeChecksum Checksum;
    // The checksum field's bytes count as zero.
    const size_t Field = std::min(ChecksumOffset, Size);
    const size_t After = std::min(ChecksumOffset + 4, Size);
    static constexpr uint8_t Zeros[4] = {};
    Checksum.Add(Data, Field);
    Checksum.Add(Zeros, After - Field);
    Checksum.Add(Data + After, Size - After);
    return Checksum.Finish();
}
