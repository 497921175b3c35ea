// Reading the linker's resources and writing them back: every resource survives byte for
// byte, the headers describe the new section, and the output depends only on the tree.

#include "PeTestSupport.h"
#include "ResourceListing.h"
#include "TestSupport.h"

#include <algorithm>
#include <map>

namespace {

const TResourceKey RcData = TResourceKey::FromId(RT_RCDATA_ID);

TResourceKey Id(uint16_t Value) {
    return TResourceKey::FromId(Value);
}

// Every resource by type, name and language, with its code page and bytes.
std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>>
Contents(const TResourceTree& Tree) {
    std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> Index;
    for (const TResource& Item : Tree.Items)
        Index[KeyText(Item.Type) + "/" + KeyText(Item.Name) + "/" + std::to_string(Item.Language)] =
            {Item.CodePage, Item.Data};
    return Index;
}

uint32_t RoundUp(uint32_t Value, uint32_t Alignment) {
    return (Value + Alignment - 1) / Alignment * Alignment;
}

class PeStubTests : public testing::TestWithParam<std::string> {
protected:
    std::vector<uint8_t> Stub() const { return ReadStub("TestStub-" + GetParam() + ".exe"); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Arch, PeStubTests, testing::Values("x86", "x64"));

TEST_P(PeStubTests, ReadsTheLinkersResources) {
    const TPeImage Image(Stub(), u"stub.exe");
    EXPECT_EQ(Image.Is64(), GetParam() == "x64");
    EXPECT_EQ(Image.Machine(), GetParam() == "x64" ? 0x8664 : 0x14C);
    const TResourceTree& Tree = Image.Resources();
    EXPECT_EQ(Tree.Items.size(), 4u); // manifest, icon image, icon group, version
    const TResource* Manifest = Tree.Find(Id(RT_MANIFEST_ID), Id(1));
    ASSERT_NE(Manifest, nullptr);
    EXPECT_EQ(Manifest->Data, ReadFixture("Stub/TestStub.manifest"));
    const std::vector<uint8_t> Ico = ReadFixture("Stub/TestStub.ico");
    const TResource* Icon = Tree.Find(Id(RT_ICON_ID), Id(1));
    ASSERT_NE(Icon, nullptr);
    EXPECT_EQ(Icon->Data, std::vector<uint8_t>(Ico.begin() + Le32(Ico, 18), Ico.end()));
    ASSERT_NE(Tree.Find(Id(RT_GROUP_ICON_ID), Id(1)), nullptr);
    const TResource* Version = Tree.Find(Id(RT_VERSION_ID), Id(1));
    ASSERT_NE(Version, nullptr);
    const TVersionBlock Root = ParseVersionBlock(Version->Data);
    const TVersionBlock* Name =
        Root.Child(u"StringFileInfo")->Child(u"080404B0")->Child(u"ProductName");
    ASSERT_NE(Name, nullptr);
    EXPECT_EQ(Name->Text(), u"TestStub");
    // The linker computed this checksum, independently of ours.
    const TTestHeaders Headers(Image.Bytes());
    EXPECT_EQ(Le32(Image.Bytes(), Headers.CheckSum()),
              ComputePeChecksum(Image.Bytes().data(), Image.Bytes().size(), Headers.CheckSum()));
}

TEST_P(PeStubTests, RebuildKeepsEveryResourceAndFixesTheHeaders) {
    const std::vector<uint8_t> Original = Stub();
    const TPeImage Image(Original, u"stub.exe");
    TResourceTree Grown = Image.Resources();
    Grown.Set(RcData, TResourceKey::FromName(u"{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}"), 0,
              SampleContent(5001));
    Grown.Set(RcData, Id(200), 0x0804, SampleContent(1 << 20, 2));
    Grown.Items.push_back({RcData, Id(200), 0x0409, 1252, Bytes("odd")});
    TResourceTree Shrunk;
    Shrunk.Items.push_back(*Image.Resources().Find(Id(RT_MANIFEST_ID), Id(1)));

    for (TResourceTree* Tree : {&Grown, &Shrunk}) {
        const std::vector<uint8_t> Rebuilt = Image.WithResources(*Tree);
        const TPeImage Reparsed(Rebuilt, u"out.exe");
        EXPECT_EQ(Reparsed.Resources().Items.size(), Tree->Items.size());
        EXPECT_TRUE(Contents(Reparsed.Resources()) == Contents(*Tree));

        const TTestHeaders Old(Original), New(Rebuilt);
        const TTestSection Section = New.Last();
        // The section is page-aligned in the file so that a loader can map it.
        const uint32_t RawAlignment = std::max<uint32_t>(Le32(Rebuilt, New.FileAlignment()), 4096);
        const uint32_t OldPointer = Old.Last().PointerToRawData;
        EXPECT_EQ(Section.Name, ".rsrc");
        EXPECT_EQ(Section.PointerToRawData, RoundUp(OldPointer, RawAlignment));
        EXPECT_EQ(Rebuilt.size(), size_t(Section.PointerToRawData) + Section.SizeOfRawData);
        EXPECT_EQ(Section.SizeOfRawData, RoundUp(Section.VirtualSize, RawAlignment));
        EXPECT_EQ(Le32(Rebuilt, New.Directory(2)), Section.VirtualAddress);
        EXPECT_EQ(Le32(Rebuilt, New.Directory(2) + 4), Section.VirtualSize);
        EXPECT_EQ(Le32(Rebuilt, New.SizeOfImage()),
                  RoundUp(Section.VirtualAddress + Section.VirtualSize,
                          Le32(Rebuilt, New.SectionAlignment())));
        EXPECT_EQ(Le32(Rebuilt, New.SizeOfInitializedData()) -
                      Le32(Original, Old.SizeOfInitializedData()),
                  Section.SizeOfRawData - Old.Last().SizeOfRawData);
        EXPECT_EQ(Le32(Rebuilt, New.CheckSum()),
                  ComputePeChecksum(Rebuilt.data(), Rebuilt.size(), New.CheckSum()));

        // Before the section only the fields above may change.
        std::vector<uint8_t> Before(Original.begin(), Original.begin() + OldPointer);
        std::vector<uint8_t> After(Rebuilt.begin(), Rebuilt.begin() + OldPointer);
        for (size_t Field :
             {New.CheckSum(), New.SizeOfImage(), New.SizeOfInitializedData(), New.Directory(2) + 4,
              Section.Header + 8, Section.Header + 16, Section.Header + 20}) {
            SetLe32(Before, Field, 0);
            SetLe32(After, Field, 0);
        }
        EXPECT_TRUE(Before == After);
        EXPECT_TRUE(std::all_of(Rebuilt.begin() + OldPointer,
                                Rebuilt.begin() + Section.PointerToRawData,
                                [](uint8_t Byte) { return Byte == 0; }));

        // Deterministic: the list order does not matter, and a second pass changes nothing.
        std::reverse(Tree->Items.begin(), Tree->Items.end());
        EXPECT_TRUE(Image.WithResources(*Tree) == Rebuilt);
        EXPECT_TRUE(Reparsed.WithResources(Reparsed.Resources()) == Rebuilt);
    }
}

TEST(PeImageTests, DirectoriesAreSortedBreadthFirstWithAlignedData) {
    const TPeImage Image(ReadStub("TestStub-x64.exe"), u"stub.exe");
    TResourceTree Tree;
    for (const char16_t* Type : {u"zed", u"Alpha"})
        Tree.Set(TResourceKey::FromName(Type), Id(1), 0, Bytes("type"));
    // Keys made without FromName: the writer stores names upper-cased all the same.
    for (const char16_t* Name : {u"b", u"数据", u"Abc", u"A"})
        Tree.Set(RcData, TResourceKey{0, Name}, 0, Bytes("abc"));
    for (uint16_t Name : {9, 2})
        Tree.Set(RcData, Id(Name), 0, Bytes("12345"));
    Tree.Set(Id(RT_ICON_ID), Id(1), 0, Bytes("i"));
    const std::vector<uint8_t> Rebuilt = Image.WithResources(Tree);

    // The reader walks entries in stored order.
    std::vector<std::string> Order;
    const TPeImage Reparsed(Rebuilt, u"out.exe");
    for (const TResource& Item : Reparsed.Resources().Items)
        Order.push_back(KeyText(Item.Type) + ":" + KeyText(Item.Name));
    EXPECT_EQ(Order, (std::vector<std::string>{"ALPHA:1", "ZED:1", "3:1", "10:A", "10:ABC", "10:B",
                                               "10:数据", "10:2", "10:9"}));

    // Tables level by level, each with a zero time stamp; data on 8-byte boundaries.
    const TTestSection Section = TTestHeaders(Rebuilt).Last();
    const size_t Base = Section.PointerToRawData;
    std::vector<std::pair<size_t, int>> Tables{{0, 0}};
    size_t Names = 0;
    for (size_t I = 0; I < Tables.size(); ++I) {
        const auto [Offset, Level] = Tables[I];
        EXPECT_EQ(Le32(Rebuilt, Base + Offset + 4), 0u);
        if (I > 0) {
            EXPECT_GT(Offset, Tables[I - 1].first);
        }
        const size_t Count = Le16(Rebuilt, Base + Offset + 12) + Le16(Rebuilt, Base + Offset + 14);
        for (size_t E = 0; E < Count; ++E) {
            const uint32_t Key = Le32(Rebuilt, Base + Offset + 16 + 8 * E);
            const uint32_t Target = Le32(Rebuilt, Base + Offset + 16 + 8 * E + 4);
            if (Key & 0x80000000) {
                WideString Name;
                for (size_t C = 0; C < Le16(Rebuilt, Base + (Key & 0x7FFFFFFF)); ++C)
                    Name += char16_t(Le16(Rebuilt, Base + (Key & 0x7FFFFFFF) + 2 + 2 * C));
                EXPECT_EQ(Name, WideUpperCase(Name));
                ++Names;
            }
            if (Level < 2)
                Tables.push_back({Target & 0x7FFFFFFF, Level + 1});
            else
                EXPECT_EQ(Le32(Rebuilt, Base + Target) % 8, 0u);
        }
    }
    EXPECT_EQ(Tables.size(), 1 + 4 + 9u); // root, 4 types, 9 names
    EXPECT_EQ(Names, 2 + 4u);
}

TEST(PeImageTests, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheLength) {
    const uint8_t Odd[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(ComputePeChecksum(Odd, 3, 100), 0x0204u + 3);
    const uint8_t Carry[] = {0xFF, 0xFF, 0x01, 0x00};
    EXPECT_EQ(ComputePeChecksum(Carry, 4, 100), 0x0001u + 4);
    const uint8_t Field[] = {0x10, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00};
    EXPECT_EQ(ComputePeChecksum(Field, 8, 2), 0x0012u + 8);

    // Against the textbook loop that folds after every word.
    for (size_t Size : {size_t(1), size_t(64), size_t(4097), size_t(100000)}) {
        const std::vector<uint8_t> Data = SampleContent(Size, uint32_t(Size));
        uint32_t Sum = 0;
        for (size_t I = 0; I < Size; I += 2) {
            const bool InField = I >= 40 && I < 44;
            Sum += InField ? 0 : Data[I] | (I + 1 < Size ? Data[I + 1] << 8 : 0);
            Sum = (Sum & 0xFFFF) + (Sum >> 16);
        }
        EXPECT_EQ(ComputePeChecksum(Data.data(), Size, 40), Sum + uint32_t(Size)) << Size;
        // Summed as a file is written, in pieces that start at odd offsets too.
        if (Size < 44) continue;
        std::vector<uint8_t> Zeroed = Data;
        std::fill_n(Zeroed.begin() + 40, 4, 0);
        TPeChecksum Pieces;
        for (size_t At = 0, Piece = 1; At < Size; At += Piece, Piece = Piece * 3 % 1001 + 1)
            Pieces.Add(Zeroed.data() + At, std::min(Piece, Size - At));
        EXPECT_EQ(Pieces.Finish(), Sum + uint32_t(Size)) << Size;
    }
}

TEST(PeImageTests, TreeKeysAndEdits) {
    EXPECT_EQ(TResourceKey::FromName(u"abc{x}").Name, u"ABC{X}");
    EXPECT_EQ(TResourceKey::FromName(u"привет ａ").Name, u"ПРИВЕТ Ａ");
    EXPECT_FALSE(TResourceKey::FromName(u"a").IsId());

    TResourceTree Tree;
    Tree.Items.push_back({RcData, Id(1), 0x0804, 0, Bytes("zh")});
    Tree.Items.push_back({RcData, Id(1), 0x0409, 0, Bytes("en")});
    Tree.Items.push_back({RcData, Id(2), 0, 0, Bytes("two")});
    Tree.Items.push_back({Id(RT_ICON_ID), Id(1), 0, 0, Bytes("icon")});
    EXPECT_EQ(Tree.Find(RcData, Id(1))->Data, Bytes("en"));
    EXPECT_EQ(Tree.Find(RcData, Id(3)), nullptr);
    Tree.Set(RcData, Id(1), 7, Bytes("one"));
    EXPECT_EQ(Tree.Items.size(), 3u);
    EXPECT_EQ(Tree.Find(RcData, Id(1))->Language, 7);
    Tree.Remove(RcData, Id(2));
    EXPECT_EQ(Tree.Find(RcData, Id(2)), nullptr);
    Tree.RemoveType(RcData);
    ASSERT_EQ(Tree.Items.size(), 1u);
    EXPECT_EQ(Tree.Items[0].Type, Id(RT_ICON_ID));

    // Names differing in case only are the same resource to the system.
    Tree.Items.push_back({RcData, TResourceKey{0, u"data"}, 0, 0, Bytes("1")});
    Tree.Items.push_back({RcData, TResourceKey::FromName(u"DATA"), 0, 0, Bytes("2")});
    const TPeImage Image(ReadStub("TestStub-x86.exe"), u"stub.exe");
    ExpectBuildError([&] { Image.WithResources(Tree); }, u"stub.exe", u"listed twice");
}
