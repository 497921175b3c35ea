// The icon group, the version resource and the manifest, read back field by field.

#include "BuildError.h"
#include "Pe/DisplayScaling.h"
#include "Pe/IconResource.h"
#include "Pe/VersionResource.h"
#include "PeTestSupport.h"
#include "ResourceListing.h"
#include "TestSupport.h"

namespace {

const TResourceKey IconType = TResourceKey::FromId(RT_ICON_ID);
const TResourceKey GroupType = TResourceKey::FromId(RT_GROUP_ICON_ID);

// A PNG signature and IHDR chunk: all SetIconFromPng reads.
std::vector<uint8_t> PngHeader(uint32_t Width, uint32_t Height) {
    std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    for (char C : std::string("IHDR"))
        Png.push_back(uint8_t(C));
    for (uint32_t Side : {Width, Height})
        for (int Shift = 24; Shift >= 0; Shift -= 8)
            Png.push_back(uint8_t(Side >> Shift));
    Png.insert(Png.end(), {8, 6, 0, 0, 0, 0x12, 0x34, 0x56, 0x78});
    return Png;
}

TVersionInfo StubVersion() {
    // The values of Tests/Fixtures/Stub/TestStub.rc.
    TVersionInfo Info;
    for (uint16_t I = 0; I < 4; ++I)
        Info.Numbers[I] = uint16_t(I + 1);
    Info.CompanyName = u"OneSetup Tests";
    Info.FileDescription = u"Test stub";
    Info.FileVersion = u"1.2.3.4";
    Info.OriginalFilename = u"TestStub.exe";
    Info.ProductName = u"TestStub";
    Info.ProductVersion = u"1.2.3.4";
    return Info;
}

} // namespace

TEST(IconResourceTests, OnePngReplacesEveryIcon) {
    const std::vector<uint8_t> Png = ReadFixture("Stub/TestIcon.png");
    TResourceTree Tree = TPeImage(ReadStub("TestStub-x64.exe"), u"stub.exe").Resources();
    Tree.Set(IconType, TResourceKey::FromId(2), 0x0804, Bytes("old"));
    Tree.Set(GroupType, TResourceKey::FromName(u"Main"), 0, Bytes("old"));
    SetIconFromPng(Tree, Png, u"icon.png");

    size_t Icons = 0;
    for (const TResource& Item : Tree.Items)
        Icons += Item.Type == IconType || Item.Type == GroupType;
    EXPECT_EQ(Icons, 2u);
    EXPECT_NE(Tree.Find(TResourceKey::FromId(RT_MANIFEST_ID), TResourceKey::FromId(1)), nullptr);
    const TResource* Icon = Tree.Find(IconType, TResourceKey::FromId(1));
    const TResource* Group = Tree.Find(GroupType, TResourceKey::FromId(1));
    ASSERT_TRUE(Icon && Group);
    EXPECT_EQ(Icon->Data, Png);
    EXPECT_EQ(Icon->Language, LANG_NEUTRAL_ID);
    EXPECT_EQ(Group->Language, LANG_NEUTRAL_ID);
    // Reserved, icon type, one entry: 24 x 16, no palette, 1 plane, 32 bits, size, ID 1.
    const uint8_t Size[2] = {uint8_t(Png.size()), uint8_t(Png.size() >> 8)};
    EXPECT_EQ(Group->Data, (std::vector<uint8_t>{0, 0, 1,  0, 1,       0,       24, 16, 0, 0,
                                                 1, 0, 32, 0, Size[0], Size[1], 0,  0,  1, 0}));

    // A side of 256 or more is written as 0.
    for (auto [Width, Height] : {std::pair{255u, 256u}, std::pair{1u, 4000u}}) {
        SetIconFromPng(Tree, PngHeader(Width, Height), u"big.png");
        const std::vector<uint8_t>& Big = Tree.Find(GroupType, TResourceKey::FromId(1))->Data;
        EXPECT_EQ(Big[6], Width < 256 ? Width : 0);
        EXPECT_EQ(Big[7], Height < 256 ? Height : 0);
    }

    std::vector<uint8_t> NoIhdr = Png;
    NoIhdr[12] = 'X';
    const std::vector<uint8_t> Refused[] = {{},
                                            Bytes("\xFF\xD8\xFF\xE0 JFIF image"),
                                            std::vector<uint8_t>(Png.begin(), Png.begin() + 20),
                                            NoIhdr,
                                            PngHeader(0, 16)};
    const TResourceTree Before = Tree;
    for (const std::vector<uint8_t>& Bad : Refused) {
        ExpectBuildError([&] { SetIconFromPng(Tree, Bad, u"logo.jpg"); }, u"logo.jpg",
                         u"not a PNG image");
        EXPECT_EQ(Tree.Items.size(), Before.Items.size()); // untouched
    }
}

TEST(VersionResourceTests, BlocksLengthsAndValues) {
    // The linker's resource compiler wrote the stub's version resource from the same values.
    const TPeImage Stub(ReadStub("TestStub-x86.exe"), u"stub.exe");
    EXPECT_EQ(
        MakeVersionResource(StubVersion()),
        Stub.Resources().Find(TResourceKey::FromId(RT_VERSION_ID), TResourceKey::FromId(1))->Data);

    // Texts of every length parity, some empty, to move the padding around.
    for (size_t Length = 0; Length < 6; ++Length) {
        TVersionInfo Info = StubVersion();
        Info.Numbers[0] = 0xABCD;
        Info.Numbers[3] = uint16_t(Length);
        Info.ProductName = WideString(Length, u'产');
        Info.LegalCopyright = Length % 2 ? u"© 2024" : u"";
        Info.FileDescription.clear();
        const std::vector<uint8_t> Data = MakeVersionResource(Info);
        const TVersionBlock Root = ParseVersionBlock(Data);
        EXPECT_EQ(Root.Length, Data.size());
        EXPECT_EQ(Root.Key, u"VS_VERSION_INFO");
        EXPECT_EQ(Root.Type, 0);
        ASSERT_EQ(Root.Value.size(), 52u);
        const uint32_t Expected[] = {0xFEEF04BD, 0x00010000,
                                     0xABCD0002, 0x00030000 | uint32_t(Length),
                                     0xABCD0002, 0x00030000 | uint32_t(Length),
                                     0x3F,       0,
                                     0x00040004, 1};
        for (size_t I = 0; I < std::size(Expected); ++I)
            EXPECT_EQ(Le32(Root.Value, 4 * I), Expected[I]) << "field " << I;
        ASSERT_EQ(Root.Children.size(), 2u);
        EXPECT_EQ(Root.Children[0].Key, u"StringFileInfo");
        ASSERT_EQ(Root.Children[0].Children.size(), 1u);
        const TVersionBlock& Table = Root.Children[0].Children[0];
        EXPECT_EQ(Table.Key, u"080404B0");
        std::vector<std::pair<WideString, WideString>> Strings;
        for (const TVersionBlock& String : Table.Children) {
            EXPECT_EQ(String.Type, 1);
            EXPECT_EQ(String.ValueLength, String.Text().size() + 1);
            Strings.push_back({String.Key, String.Text()});
        }
        std::vector<std::pair<WideString, WideString>> Wanted = {
            {u"CompanyName", Info.CompanyName}, {u"FileVersion", Info.FileVersion}};
        if (Length % 2) Wanted.push_back({u"LegalCopyright", Info.LegalCopyright});
        Wanted.push_back({u"OriginalFilename", Info.OriginalFilename});
        if (Length) Wanted.push_back({u"ProductName", Info.ProductName});
        Wanted.push_back({u"ProductVersion", Info.ProductVersion});
        EXPECT_EQ(Strings, Wanted);
        const TVersionBlock& Vars = Root.Children[1];
        EXPECT_EQ(Vars.Key, u"VarFileInfo");
        ASSERT_EQ(Vars.Children.size(), 1u);
        EXPECT_EQ(Vars.Children[0].Key, u"Translation");
        EXPECT_EQ(Vars.Children[0].Type, 0);
        EXPECT_EQ(Vars.Children[0].Value, (std::vector<uint8_t>{0x04, 0x08, 0xB0, 0x04}));
    }

    TVersionInfo Long;
    Long.ProductName = WideString(40000, u'x');
    ExpectBuildError([&] { MakeVersionResource(Long); }, u"version resource", u"too long");
}

TEST(DisplayScalingTests, ManifestDeclaresPerMonitorAwarenessOnceInItsSettings) {
    const std::string Head = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\">";
    const std::string Long = "<longPathAware xmlns=\"x\">true</longPathAware>";
    const std::string Cases[] = {
        Head + "<application><windowsSettings><dpiAware xmlns=\"a\">true</dpiAware>" + Long +
            "</windowsSettings></application></assembly>",
        Head + "<application><windowsSettings>\n  <dpiAwareness>unaware</dpiAwareness>\n" + Long +
            "<dpiAware/></windowsSettings></application></assembly>",
        Head + "<application><windowsSettings/></application></assembly>",
        Head + "<dpiAwareish/></assembly>",
    };
    for (const std::string& Manifest : Cases) {
        const std::string Scaled = ScaledManifest(Manifest);
        auto Count = [&](const std::string& Text) {
            size_t N = 0;
            for (size_t At = Scaled.find(Text); At != std::string::npos;
                 At = Scaled.find(Text, At + 1))
                ++N;
            return N;
        };
        SCOPED_TRACE(Scaled);
        EXPECT_EQ(Count("<dpiAware "), 1u);
        EXPECT_EQ(Count("<dpiAwareness "), 1u);
        EXPECT_EQ(Count(">PerMonitorV2, System</dpiAwareness>"), 1u);
        EXPECT_EQ(Count("<windowsSettings>"), 1u);
        const size_t Settings = Scaled.find("<windowsSettings>");
        EXPECT_LT(Settings, Scaled.find("<dpiAwareness "));
        EXPECT_LT(Scaled.find("</dpiAwareness>"), Scaled.find("</windowsSettings>"));
        EXPECT_EQ(Count(Long), Manifest.find(Long) != std::string::npos ? 1u : 0u);
        EXPECT_EQ(Count("<dpiAwareish/>"), Manifest.find("<dpiAwareish/>") != std::string::npos);
        EXPECT_EQ(Scaled.substr(Scaled.size() - 11), "</assembly>");
        EXPECT_EQ(ScaledManifest(Scaled), Scaled);
    }
    TResourceTree NoManifest;
    EXPECT_THROW(ScaleWithDisplay(NoManifest, u"Stub.exe"), EBuildError);
}
