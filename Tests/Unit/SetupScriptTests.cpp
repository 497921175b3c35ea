#include "LxStrUtils.h"
#include "LxStreams.h"
#include "LxXmlUtils.h"
#include "SetupProject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

void LoadText(TXmlPersistent& Object, std::string_view Xml) {
    TMemoryStream Stream;
    Stream.Adopt(Bytes(Xml));
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

TSetupBaseInfo::TVersionNumbers Versions(const char16_t* Version) {
    TSetupBaseInfo Info;
    Info.Version = Version;
    return Info.GetVersionNumbers();
}

void ExpectVersion(const char16_t* Version, int32_t Major, int32_t Minor, int32_t Release,
                   int32_t Build) {
    SCOPED_TRACE("Version \"" + WideToUtf8(Version) + '"');
    const auto N = Versions(Version);
    EXPECT_EQ(N.Major, Major);
    EXPECT_EQ(N.Minor, Minor);
    EXPECT_EQ(N.Release, Release);
    EXPECT_EQ(N.Build, Build);
}

} // namespace

TEST(SetupScriptTests, LoadsTheExampleScript) {
    const std::vector<uint8_t> Fixture = ReadFixture("ExampleScript.xml");
    TSetupScript Script;
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Fixture));
    Script.LoadFromStream(Stream);

    const TSetupBaseInfo& Info = Script.BaseInfo();
    EXPECT_EQ(Info.WinVersion, wveWin7OrHigher);
    EXPECT_EQ(Info.AppTitle, u"Demo");
    EXPECT_EQ(Info.DefInstallPath, u"{pf}\\Demo");
    EXPECT_EQ(Info.GotoUrlMode, gumSilent);
    EXPECT_EQ(Info.GUID, u"{9B2E4C61-5D3A-4F87-A1C0-2E6D8B4F7A19}");
    EXPECT_EQ(Info.IconResID, u"{3F1A7D20-8C64-4B9E-B2D5-6A0C9E1F4B83}");
    EXPECT_EQ(Info.Version, u"1.0.0.0");
    EXPECT_EQ(Info.MainFormColor, 16750848);

    ASSERT_EQ(Script.FileList().Count(), 1);
    const TSetupFile* File = Script.FileList().Items(0);
    EXPECT_TRUE(File->Checked);
    EXPECT_EQ(File->DestDir, u"{app}");
    EXPECT_EQ(File->FileBytes, 1024);
    EXPECT_DOUBLE_EQ(File->LastWriteDate, 45123.5);
    EXPECT_EQ(File->SourceMask, u"Demo.exe");

    ASSERT_EQ(Script.RegList().Count(), 1);
    EXPECT_EQ(Script.RegList().Items(0)->RootKey, rrkCurrentUser);
    EXPECT_EQ(Script.RegList().Items(0)->SubKey, u"Software\\Demo");
    EXPECT_EQ(Script.RegList().Items(0)->ValueType, rvtString);
    ASSERT_EQ(Script.RunList().Count(), 1);
    EXPECT_FALSE(Script.RunList().Items(0)->Wait);
    ASSERT_EQ(Script.ShortCutList().Count(), 1);
    EXPECT_EQ(Script.ShortCutList().Items(0)->SaveDir, u"{desktop}");
    EXPECT_EQ(Script.SwiperList().Count(), 0);
    // The stored variables replace the ten defaults.
    ASSERT_EQ(Script.VarList().Count(), 1);
    EXPECT_EQ(Script.VarList().Items(0)->VarValue, u"Demo");

    EXPECT_EQ(Save(Script), Fixture);
}

TEST(SetupScriptTests, FreshScriptSurvivesSaveAndLoad) {
    TSetupScript Original;
    Original.RunList().Add(std::make_unique<TSetupRun>())->Params = u"/quiet & \"x\"";
    TSetupScript Copy;
    ASSERT_NE(Copy.BaseInfo().GUID, Original.BaseInfo().GUID);
    ASSERT_FALSE(Copy.VarList().ItemsEqual(&Original.VarList())); // {GUID} differs

    TMemoryStream Stream;
    Original.SaveToStream(Stream);
    Stream.SetPosition(0);
    Copy.LoadFromStream(Stream);

    EXPECT_TRUE(Copy.IsEqual(&Original));
    EXPECT_TRUE(Copy.BaseInfo().IsEqual(&Original.BaseInfo()));
    EXPECT_EQ(Copy.BaseInfo().GUID, Original.BaseInfo().GUID);
    EXPECT_TRUE(Copy.FileList().ItemsEqual(&Original.FileList()));
    EXPECT_TRUE(Copy.RunList().ItemsEqual(&Original.RunList()));
    EXPECT_TRUE(Copy.VarList().ItemsEqual(&Original.VarList()));
    EXPECT_EQ(Copy.VarList().Count(), 10);
}

TEST(SetupScriptTests, WritesPropertiesInOrderWithTheirDefaults) {
    TSetupScript Script;
    Script.FileList().Add(std::make_unique<TSetupFile>());
    const std::unique_ptr<TXmlNode> Root = SavedRoot(Script);
    ASSERT_TRUE(Root);

    std::vector<WideString> Children;
    for (const auto& Child : Root->Children)
        Children.push_back(Child->GetName());
    EXPECT_EQ(Children, (std::vector<WideString>{u"BaseInfo", u"FileList", u"RegList", u"RunList",
                                                 u"ShortCutList", u"SwiperList", u"VarList"}));

    const TXmlNode* BaseInfo = Root->FindChild(u"BaseInfo");
    ASSERT_TRUE(BaseInfo);
    std::vector<WideString> Names;
    for (const auto& Attribute : BaseInfo->Attributes)
        Names.push_back(XmlUnescape(Attribute->Name));
    const std::vector<WideString> Expected = {u"WinVersion",
                                              u"AllowModify",
                                              u"AppTitle",
                                              u"BuildMiniSetup",
                                              u"CompanyName",
                                              u"CompanyUrl",
                                              u"Condition",
                                              u"DefInstallPath",
                                              u"FullDownloadUrl",
                                              u"FullSetupFile",
                                              u"GotoUrl",
                                              u"GotoUrlMode",
                                              u"GUID",
                                              u"IconFile",
                                              u"IconResID",
                                              u"InstallFileDescription",
                                              u"LegalCopyright",
                                              u"LicenseFile",
                                              u"LicenseResID",
                                              u"MiniSetupFile",
                                              u"ProductName",
                                              u"UninstallFileDescription",
                                              u"Version",
                                              u"MainFormColor"};
    EXPECT_EQ(Names, Expected);
    EXPECT_EQ(BaseInfo->Attributes.FindByName(u"MainFormColor")->AsString(), u"16750848");
    EXPECT_EQ(BaseInfo->Attributes.FindByName(u"WinVersion")->AsString(), u"wveWinXPOrHigher");
    EXPECT_EQ(BaseInfo->Attributes.FindByName(u"GUID")->AsString().size(), 38u);

    const TXmlNode* File =
        Root->FindChild(u"FileList")->FindChild(u"Items")->FindChild(u"TSetupFile");
    ASSERT_TRUE(File);
    EXPECT_EQ(File->Attributes.Items(0)->Name, "Checked");
    EXPECT_EQ(File->Attributes.Items(0)->AsString(), u"True");
    EXPECT_EQ(File->Attributes.Items(1)->Name, "Condition");
    EXPECT_EQ(File->Attributes.Items(2)->Name, "DestDir");
    EXPECT_EQ(File->Attributes.Count(), 10);

    const TXmlNode* Var = Root->FindChild(u"VarList")->FindChild(u"Items")->Children.Items(0);
    EXPECT_EQ(Var->Attributes.AsText(),
              "Checked=\"True\" VarName=\"{AppTitle}\" VarValue=\"AppTitle\"");

    EXPECT_TRUE(TSetupReg().Checked);
    EXPECT_TRUE(TSetupVar().Checked);
    EXPECT_EQ(TSetupReg().ValueType, rvtString);
}

TEST(SetupScriptTests, UnknownRootKeyLoadsAsClassesRoot) {
    TSetupReg Reg;
    Reg.RootKey = rrkUsers;
    LoadText(Reg, "<TSetupReg RootKey=\"rrkNowhere\" ValueType=\"RVTDWORD\"/>");
    EXPECT_EQ(Reg.RootKey, rrkClassesRoot);
    EXPECT_EQ(Reg.ValueType, rvtDWord);
}

TEST(SetupScriptTests, FileListItemsOfAnyNameLoadAsFiles) {
    TSetupScript Script;
    LoadText(Script, "<TSetupScript><FileList><Items>"
                     "<TSetupFile SourceMask=\"a.exe\"/><Whatever SourceMask=\"b.dll\"/>"
                     "<TSetupReg SourceMask=\"c.txt\" FileBytes=\"7\"/>"
                     "</Items></FileList></TSetupScript>");
    ASSERT_EQ(Script.FileList().Count(), 3);
    for (int I = 0; I < 3; ++I)
        EXPECT_EQ(Script.FileList().TXmlObjectList::Items(I)->ClassName(), u"TSetupFile");
    EXPECT_EQ(Script.FileList().Items(1)->SourceMask, u"b.dll");
    EXPECT_EQ(Script.FileList().Items(2)->FileBytes, 7);
}

TEST(SetupScriptTests, AbsentElementsKeepTheDefaults) {
    TSetupScript Script;
    const WideString Guid = Script.BaseInfo().GUID;
    LoadText(Script, "<TSetupScript><FileList><Items><TSetupFile/></Items></FileList>"
                     "</TSetupScript>");
    EXPECT_EQ(Script.BaseInfo().GUID, Guid);
    EXPECT_EQ(Script.BaseInfo().MainFormColor, 0xFF9900);
    ASSERT_EQ(Script.VarList().Count(), 10);
    EXPECT_EQ(Script.VarList().Items(0)->VarName, u"{AppTitle}");
    EXPECT_EQ(Script.FileList().Count(), 1);

    LoadText(Script, "<TSetupScript><BaseInfo AppTitle=\"X\"/></TSetupScript>");
    EXPECT_EQ(Script.BaseInfo().GUID, Guid);
    EXPECT_EQ(Script.BaseInfo().AppTitle, u"X");
}

TEST(SetupScriptTests, NoWaitCountCountsProgramsStartedAfterClosing) {
    TSetupRunList Runs;
    EXPECT_EQ(Runs.NoWaitCount(), 0);
    for (bool Wait : {true, true})
        Runs.Add(std::make_unique<TSetupRun>())->Wait = Wait;
    EXPECT_EQ(Runs.NoWaitCount(), 0);
    for (bool Wait : {false, true, false})
        Runs.Add(std::make_unique<TSetupRun>())->Wait = Wait;
    EXPECT_EQ(Runs.NoWaitCount(), 2);
}

TEST(SetupScriptTests, GetVersionNumbersReadsUpToFourParts) {
    ExpectVersion(u"2.5.1.300", 2, 5, 1, 300);
    ExpectVersion(u"3.1", 3, 1, 0, 0);
    ExpectVersion(u"", 0, 0, 0, 0);
    ExpectVersion(u"4.a.7", 4, 0, 0, 0);
    ExpectVersion(u"1.2 beta", 1, 2, 0, 0);
    ExpectVersion(u"1.2.3.4.5.6", 1, 2, 3, 4);
    ExpectVersion(u"7.12rc.9", 7, 12, 0, 0);
    ExpectVersion(u"1..3", 1, 0, 0, 0);
    ExpectVersion(u"10.0.19041.1", 10, 0, 19041, 1);
}

TEST(SetupScriptTests, RootKeyToHKEYMapsEveryKey) {
    EXPECT_EQ(RootKeyToHKEY(rrkClassesRoot), 0x80000000u);
    EXPECT_EQ(RootKeyToHKEY(rrkCurrentUser), 0x80000001u);
    EXPECT_EQ(RootKeyToHKEY(rrkLocalMachine), 0x80000002u);
    EXPECT_EQ(RootKeyToHKEY(rrkUsers), 0x80000003u);
    EXPECT_EQ(RootKeyToHKEY(rrkCurrentConfig), 0x80000005u);
    EXPECT_EQ(RootKeyToHKEY(static_cast<TRegRootKey>(5)), 0x80000001u);
    EXPECT_EQ(RootKeyToHKEY(static_cast<TRegRootKey>(200)), 0x80000001u);
}

TEST(SetupScriptTests, EscapesSpecialCharactersInAttributes) {
    TSetupScript Script;
    Script.BaseInfo().AppTitle = u"Tom & Jerry <\u00e9>";
    const std::vector<uint8_t> Saved = Save(Script);
    const std::string Text(Saved.begin(), Saved.end());
    EXPECT_NE(Text.find("AppTitle=\"Tom &amp; Jerry &lt;\xC3\xA9&gt;\""), std::string::npos);

    TSetupScript Loaded;
    TMemoryStream Stream;
    Stream.Adopt(std::vector<uint8_t>(Saved));
    Loaded.LoadFromStream(Stream);
    EXPECT_EQ(Loaded.BaseInfo().AppTitle, Script.BaseInfo().AppTitle);
}
