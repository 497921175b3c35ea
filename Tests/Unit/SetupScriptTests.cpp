#include "LxStrUtils.h"
#include "LxStreams.h"
#include "LxXmlUtils.h"
#include "SetupProject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

void Load(TXmlPersistent& Object, const std::vector<uint8_t>& Xml) {
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Xml));
    Object.LoadFromStream(Stream);
}

std::vector<uint8_t> Save(const TXmlPersistent& Object) {
    TMemoryStream Stream;
    Object.SaveToStream(Stream);
    return Stream.Release();
}

std::unique_ptr<TXmlNode> SavedRoot(const TXmlPersistent& Object) {
    const std::vector<uint8_t> Saved = Save(Object);
    TXmlDocument Document;
    Document.LoadFromBuffer(Saved.data(), Saved.size());
    return std::move(Document.Root);
}

} // namespace

TEST(SetupScriptTests, ExampleScriptLoadsAndSavesUnchanged) {
    const std::vector<uint8_t> Fixture = ReadFixture("ExampleScript.xml");
    TSetupScript Script;
    Load(Script, Fixture);

    const TSetupBaseInfo& Info = Script.BaseInfo();
    EXPECT_EQ(Info.WinVersion, wveWin7OrHigher);
    EXPECT_EQ(Info.DefInstallPath, u"{pf}\\Demo");
    EXPECT_EQ(Info.GUID, u"{9B2E4C61-5D3A-4F87-A1C0-2E6D8B4F7A19}");
    EXPECT_EQ(Info.MainFormColor, 16750848);
    ASSERT_EQ(Script.FileList().Count(), 1);
    EXPECT_EQ(Script.FileList().Items(0)->FileBytes, 1024);
    EXPECT_DOUBLE_EQ(Script.FileList().Items(0)->LastWriteDate, 45123.5);
    ASSERT_EQ(Script.RegList().Count(), 1);
    EXPECT_EQ(Script.RegList().Items(0)->RootKey, rrkCurrentUser);
    EXPECT_EQ(Script.RegList().Items(0)->SubKey, u"Software\\Demo");
    EXPECT_EQ(Script.ShortCutList().Items(0)->SaveDir, u"{desktop}");
    EXPECT_EQ(Script.SwiperList().Count(), 0);
    // The stored variables replace the ten defaults.
    ASSERT_EQ(Script.VarList().Count(), 1);
    EXPECT_EQ(Script.VarList().Items(0)->VarValue, u"Demo");

    EXPECT_EQ(Save(Script), Fixture);
}

TEST(SetupScriptTests, FreshScriptSurvivesSaveAndLoad) {
    TSetupScript Original, Copy;
    Original.RunList().Add(std::make_unique<TSetupRun>())->Params = u"/q & \"x\"";
    ASSERT_FALSE(Copy.VarList().ItemsEqual(&Original.VarList())); // each has its own {GUID}
    Load(Copy, Save(Original));
    EXPECT_TRUE(Copy.IsEqual(&Original));
    EXPECT_EQ(Copy.BaseInfo().GUID, Original.BaseInfo().GUID);
    EXPECT_TRUE(Copy.RunList().ItemsEqual(&Original.RunList()));
    EXPECT_TRUE(Copy.VarList().ItemsEqual(&Original.VarList()));
}

TEST(SetupScriptTests, WritesPropertiesInOrderWithDefaults) {
    TSetupScript Script;
    Script.BaseInfo().AppTitle = u"Tom & Jerry";
    Script.SwiperList().Add(std::make_unique<TSetupSwiper>());
    const std::unique_ptr<TXmlNode> Root = SavedRoot(Script);
    const TXmlNode* Info = Root->FindChild(u"BaseInfo");
    ASSERT_TRUE(Info);
    std::string Names;
    for (const auto& Attribute : Info->Attributes)
        Names += Attribute->Name + " ";
    EXPECT_EQ(Names, "WinVersion AllowModify AppTitle BuildMiniSetup CompanyName CompanyUrl "
                     "Condition DefInstallPath FullDownloadUrl FullSetupFile GotoUrl GotoUrlMode "
                     "GUID IconFile IconResID InstallFileDescription LegalCopyright LicenseFile "
                     "LicenseResID MiniSetupFile ProductName UninstallFileDescription Version "
                     "MainFormColor ");
    EXPECT_EQ(Info->Attributes.FindByName(u"MainFormColor")->Value, "16750848");
    EXPECT_EQ(Info->Attributes.FindByName(u"AppTitle")->Value, "Tom &amp; Jerry");
    EXPECT_EQ(Info->Attributes.FindByName(u"WinVersion")->Value, "wveWinXPOrHigher");
    EXPECT_EQ(Root->FindChild(u"SwiperList")
                  ->FindChild(u"Items")
                  ->FindChild(u"TSetupSwiper")
                  ->Attributes.AsText(),
              "Checked=\"True\" Condition=\"\" FileName=\"\" ResID=\"\"");
    EXPECT_TRUE(TSetupFile().Checked);
    EXPECT_TRUE(TSetupVar().Checked);
    // A later addition is stored only when set, in its place in the table.
    Script.BaseInfo().ScaleWithDisplay = true;
    const std::string Scaled = SavedRoot(Script)->FindChild(u"BaseInfo")->Attributes.AsText();
    EXPECT_NE(Scaled.find("ProductName=\"\" ScaleWithDisplay=\"True\" UninstallFileDescription"),
              std::string::npos);
}

TEST(SetupScriptTests, LoadsWhatTheXmlHoldsAndKeepsTheRest) {
    TSetupScript Script;
    const WideString Guid = Script.BaseInfo().GUID;
    Load(Script, Bytes("<TSetupScript><FileList><Items><TSetupFile SourceMask=\"a\"/>"
                       "<Anything FileBytes=\"7\"/><TSetupReg/></Items></FileList>"
                       "<RegList><Items><TSetupReg RootKey=\"rrkNowhere\" ValueType=\"RVTDWORD\"/>"
                       "</Items></RegList></TSetupScript>"));
    ASSERT_EQ(Script.FileList().Count(), 3);
    for (int I = 0; I < 3; ++I)
        EXPECT_EQ(Script.FileList().TXmlObjectList::Items(I)->ClassName(), u"TSetupFile");
    EXPECT_EQ(Script.FileList().Items(1)->FileBytes, 7);
    EXPECT_EQ(Script.RegList().Items(0)->RootKey, rrkClassesRoot);
    EXPECT_EQ(Script.RegList().Items(0)->ValueType, rvtDWord);
    EXPECT_EQ(Script.BaseInfo().GUID, Guid);
    EXPECT_EQ(Script.BaseInfo().MainFormColor, 0xFF9900);
    EXPECT_EQ(Script.VarList().Count(), 10);
}

TEST(SetupScriptTests, NoWaitCountCountsProgramsStartedAtTheEnd) {
    TSetupRunList Runs;
    for (bool Wait : {true, true})
        Runs.Add(std::make_unique<TSetupRun>())->Wait = Wait;
    EXPECT_EQ(Runs.NoWaitCount(), 0);
    for (bool Wait : {false, true, false})
        Runs.Add(std::make_unique<TSetupRun>())->Wait = Wait;
    EXPECT_EQ(Runs.NoWaitCount(), 2);
}

TEST(SetupScriptTests, GetVersionNumbersReadsUpToFourParts) {
    const struct {
        const char16_t* Version;
        int32_t Major, Minor, Release, Build;
    } Cases[] = {
        {u"2.5.1.300", 2, 5, 1, 300}, {u"3.1", 3, 1, 0, 0},      {u"", 0, 0, 0, 0},
        {u"4.a.7", 4, 0, 0, 0},       {u"1.2 beta", 1, 2, 0, 0}, {u"1.2.3.4.5", 1, 2, 3, 4},
        {u"7.12rc.9", 7, 12, 0, 0},   {u"1..3", 1, 0, 0, 0}};
    for (const auto& Case : Cases) {
        TSetupBaseInfo Info;
        Info.Version = Case.Version;
        const auto N = Info.GetVersionNumbers();
        EXPECT_EQ(std::vector<int32_t>({N.Major, N.Minor, N.Release, N.Build}),
                  std::vector<int32_t>({Case.Major, Case.Minor, Case.Release, Case.Build}))
            << WideToUtf8(Case.Version);
    }
}

TEST(SetupScriptTests, RootKeyToHKEYMapsEveryKey) {
    EXPECT_EQ(RootKeyToHKEY(rrkClassesRoot), 0x80000000u);
    EXPECT_EQ(RootKeyToHKEY(rrkCurrentUser), 0x80000001u);
    EXPECT_EQ(RootKeyToHKEY(rrkLocalMachine), 0x80000002u);
    EXPECT_EQ(RootKeyToHKEY(rrkUsers), 0x80000003u);
    EXPECT_EQ(RootKeyToHKEY(rrkCurrentConfig), 0x80000005u);
    EXPECT_EQ(RootKeyToHKEY(static_cast<TRegRootKey>(9)), 0x80000001u);
}
