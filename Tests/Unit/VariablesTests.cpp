#include "LxExceptions.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "MySetupUtils.h"
#include "RemovalPlan.h"
#include "SetupProject.h"

#include <gtest/gtest.h>

namespace {

// The path values are process-wide: each test starts from known ones and restores the old.
class VariablesTests : public ::testing::Test {
protected:
    void SetUp() override {
        for (size_t I = 0; I < 5; ++I)
            Saved[I] = *Values[I];
        SetupProgramFilesDir = u"C:\\Program Files";
        SetupCommonProgramsDir = u"C:\\Programs\\";
        SetupDesktopDir = u"C:\\Desktop\\";
        SetupAppDir = u"C:\\Demo\\";
        SetupAppTitle = u"Demo";
    }
    void TearDown() override {
        for (size_t I = 0; I < 5; ++I)
            *Values[I] = Saved[I];
    }
    static WideString Expand(WideStringView Text) { return TSetupfn::ExpandConstant(Text); }

private:
    WideString* const Values[5] = {&SetupProgramFilesDir, &SetupCommonProgramsDir, &SetupDesktopDir,
                                   &SetupAppDir, &SetupAppTitle};
    WideString Saved[5];
};

} // namespace

TEST_F(VariablesTests, ExpandsPathConstantsIgnoringCase) {
    EXPECT_EQ(Expand(u"{PF}\\Demo"), u"C:\\Program Files\\Demo");
    EXPECT_EQ(Expand(u"{Desktop}x.lnk"), u"C:\\Desktop\\x.lnk");
    EXPECT_EQ(Expand(u"{app}\\bin\\x.exe;{APP}x.exe"), u"C:\\Demo\\bin\\x.exe;C:\\Demo\\x.exe");
    EXPECT_EQ(Expand(u"{SrcExe}"), PlatformModuleFileName());
    EXPECT_FALSE(PlatformModuleFileName().empty());
    EXPECT_EQ(Expand(u"{sys}\\x{AppTitle}{app"), u"{sys}\\x{AppTitle}{app");
}

TEST_F(VariablesTests, GroupIsTheProgramsFolderAndTitle) {
    EXPECT_EQ(Expand(u"{group}"), u"C:\\Programs\\Demo\\");
    EXPECT_EQ(Expand(u"{group}\\Help"), u"C:\\Programs\\Demo\\Help");
    SetupAppTitle = u"Demo\\";
    EXPECT_EQ(Expand(u"{group}"), u"C:\\Programs\\Demo\\");
    SetupCommonProgramsDir.clear();
    EXPECT_EQ(Expand(u"{group}"), u"Demo\\");
}

TEST_F(VariablesTests, CollapsesBackslashPairsLeftToRight) {
    SetupAppDir.clear();
    EXPECT_EQ(Expand(u"a\\\\\\b|c\\\\\\\\d"), u"a\\\\b|c\\\\d");
    EXPECT_EQ(Expand(u"\\\\server\\share"), u"\\server\\share");
    EXPECT_EQ(Expand(u"{app}\\x.exe"), u"\\x.exe");
}

TEST_F(VariablesTests, OnlyLaterConstantsInReplacementsExpand) {
    SetupAppTitle = u"{app}";
    SetupAppDir = u"D:\\A\\";
    EXPECT_EQ(Expand(u"{group}"), u"C:\\Programs\\D:\\A\\");
    SetupAppDir = u"{pf}\\";
    EXPECT_EQ(Expand(u"{app}x"), u"{pf}\\x");
}

TEST_F(VariablesTests, InitConstantsFromNormalisesBackslashes) {
    TSetupfn::InitConstantsFrom(u"C:\\PF\\\\", u"C:\\Desk\\", u"C:\\Programs");
    EXPECT_EQ(SetupProgramFilesDir, u"C:\\PF\\");
    EXPECT_EQ(SetupDesktopDir, u"C:\\Desk\\");
    EXPECT_EQ(SetupCommonProgramsDir, u"C:\\Programs\\");
    TSetupfn::InitConstantsFrom(u"C:\\PF", u"", u"");
    EXPECT_EQ(SetupProgramFilesDir, u"C:\\PF");
    EXPECT_EQ(SetupDesktopDir, u"");
    EXPECT_EQ(SetupCommonProgramsDir, u"");
}

TEST(VariablesListTests, StartsWithTheTenDefaults) {
    TSetupVarList Vars;
    std::vector<WideString> Names;
    for (int I = 0; I < Vars.Count(); ++I) {
        Names.push_back(Vars.Items(I)->VarName);
        EXPECT_TRUE(Vars.Items(I)->Checked);
    }
    EXPECT_EQ(Names,
              (std::vector<WideString>{u"{AppTitle}", u"{Version}", u"{MainExeName}", u"{GUID}",
                                       u"{AppID}", u"{Copyright}", u"{CompanyName}",
                                       u"{CompanyUrl}", u"{DefaultFolder}", u"{Condition}"}));
    EXPECT_EQ(Vars.ExpandVars(u"{Version}|{apptitle}|{MainExeName}|{Copyright}"),
              u"1.0.0.0|AppTitle|MyApp|");
    const WideString Guid = Vars.Items(3)->VarValue;
    EXPECT_TRUE(Guid.size() == 38 && Guid.front() == u'{' && Guid.back() == u'}') << Guid.size();
    EXPECT_NE(Guid, TSetupVarList().Items(3)->VarValue);
    const WideString AppId = Vars.Items(4)->VarValue;
    EXPECT_EQ(AppId.size(), 5u);
    EXPECT_EQ(AppId.find_first_not_of(u"0123456789"), WideString::npos);
}

TEST(VariablesListTests, FindsAndAddsIgnoringCase) {
    TSetupVarList Vars;
    EXPECT_EQ(Vars.IndexOf(u"{VERSION}"), 1);
    EXPECT_EQ(Vars.IndexOf(u"{Nope}"), -1);
    EXPECT_EQ(Vars.Find(u"{appid}"), Vars.Items(4));
    EXPECT_EQ(Vars.Find(u"{Nope}"), nullptr);
    EXPECT_EQ(Vars.Add(u"{APPTITLE}"), Vars.Items(0));
    TSetupVar* Added = Vars.Add(u"{Extra}");
    ASSERT_EQ(Vars.Count(), 11);
    EXPECT_EQ(Vars.Items(10), Added);
    EXPECT_TRUE(Added->Checked && Added->VarValue.empty());
}

TEST(VariablesListTests, ExpandsInListOrderOnce) {
    TSetupVarList Vars;
    Vars.Clear();
    Vars.Add(u"{A}")->VarValue = u"<{B}>";
    Vars.Add(u"{B}")->VarValue = u"b";
    Vars.Add(u"{C}")->VarValue = u"[{a}]";
    // {A} names the later {B}, which expands; {C} names the earlier {A}, which does not.
    EXPECT_EQ(Vars.ExpandVars(u"{a}|{C}|{D}"), u"<b>|[{a}]|{D}");
    Vars.Items(1)->Checked = false;
    EXPECT_EQ(Vars.ExpandVars(u"{A}{B}"), u"<{B}>{B}");
    Vars.Items(0)->VarName.clear();
    EXPECT_EQ(Vars.ExpandVars(u"{A}"), u"{A}");
}

TEST(VariablesListTests, RefusesTextsLongerThanTheLimitBeforeMakingThem) {
    TSetupVarList Vars;
    Vars.Clear();
    Vars.Add(u"{L}")->VarValue = WideString(TSetupVarList::MaxExpandedLength, u'x');
    EXPECT_EQ(Vars.ExpandVars(u"{L}").size(), TSetupVarList::MaxExpandedLength);
    EXPECT_THROW(Vars.ExpandVars(u"{L}."), EConvertError);
    // Each value names the next variable twice: 2^40 copies from one name, were it built.
    Vars.Clear();
    for (int I = 0; I < 40; ++I)
        Vars.Add(FormatText(u"{V%d}", I))->VarValue = FormatText(u"{V%d}{V%d}", I + 1, I + 1);
    EXPECT_EQ(Vars.ExpandVars(u"{V35}").size(), 32u * 5);
    EXPECT_THROW(Vars.ExpandVars(u"{V0}"), EConvertError);
}

TEST(VariablesListTests, ItemsExpandExactlyTheirTexts) {
    TSetupVarList Vars;
    Vars.Clear();
    Vars.Add(u"{V}")->VarValue = u"v";
    TSetupFile File;
    File.Condition = File.DestDir = File.SourceMask = File.SourcePath = File.NewFileName =
        File.ResID = u"{V}";
    TSetupReg Reg;
    Reg.Condition = Reg.SubKey = Reg.ValueData = Reg.ValueName = u"{V}";
    TSetupRun Run;
    Run.Condition = Run.Params = Run.FileName = Run.WorkDir = u"{V}";
    TSetupShortCut Link;
    Link.Condition = Link.DstFile = Link.IconFile = Link.Name = Link.SaveDir = Link.WorkDir =
        u"{V}";
    TSetupSwiper Swiper;
    Swiper.Condition = Swiper.FileName = Swiper.ResID = u"{V}";
    for (TBaseConditionItem* Item :
         std::initializer_list<TBaseConditionItem*>{&File, &Reg, &Run, &Link, &Swiper})
        Item->ExpandVars(Vars);

    EXPECT_EQ(File.Condition + File.DestDir + File.SourceMask + File.SourcePath + File.NewFileName +
                  File.ResID,
              u"vvvvv{V}");
    EXPECT_EQ(Reg.Condition + Reg.SubKey + Reg.ValueData + Reg.ValueName, u"vvvv");
    EXPECT_EQ(Run.Condition + Run.Params + Run.FileName + Run.WorkDir, u"vvvv");
    EXPECT_EQ(Link.Condition + Link.DstFile + Link.IconFile + Link.Name + Link.SaveDir +
                  Link.WorkDir,
              u"vvvvvv");
    EXPECT_EQ(Swiper.Condition + Swiper.FileName + Swiper.ResID, u"vv{V}");
}

namespace {

TSetupScript& RemovalScript(TSetupScript& Script) {
    auto File = [&](const char16_t* Dir, const char16_t* Name, const char16_t* NewName = u"") {
        auto Item = std::make_unique<TSetupFile>();
        Item->DestDir = Dir;
        Item->SourceMask = Name;
        Item->NewFileName = NewName;
        Script.FileList().Add(std::move(Item));
    };
    File(u"{app}", u"a.exe");
    File(u"{app}bin\\deep", u"b.dll", u"c.dll");
    File(u"C:\\Windows\\System32", u"shared.dll");
    File(u"{pf}\\Common\\Tools", u"tool.exe");
    File(u"{app}docs", u"d.txt");
    // Leaves the product folder for the shared Windows folder: it stays.
    File(u"C:\\Demo\\..\\Windows/.", u"escape.dll");
    for (const char16_t* Dir : {u"{desktop}", u"{group}", u"{group}\\Help"}) {
        auto Link = std::make_unique<TSetupShortCut>();
        Link->SaveDir = Dir;
        Link->Name = u"Demo";
        Script.ShortCutList().Add(std::move(Link));
    }
    auto Value = std::make_unique<TSetupReg>();
    Value->RootKey = rrkCurrentUser;
    Value->SubKey = u"Software\\Demo\\{app}";
    Value->ValueName = u"Dir";
    Script.RegList().Add(std::move(Value));
    return Script;
}

} // namespace

TEST_F(VariablesTests, RemovalPlanKeepsSharedAndProtectedPlaces) {
    TSetupScript Script;
    TRemovalPlaces Places{u"C:\\Demo\\",
                          u"C:\\Programs\\",
                          {u"C:\\Windows\\"},
                          {u"C:\\Windows\\", u"C:\\Program Files\\"}};
    const TRemovalPlan Plan = PlanRemoval(RemovalScript(Script), Places);
    EXPECT_EQ(Plan.Files,
              (std::vector<WideString>{u"C:\\Demo\\a.exe", u"C:\\Demo\\bin\\deep\\c.dll",
                                       u"C:\\Program Files\\Common\\Tools\\tool.exe",
                                       u"C:\\Demo\\docs\\d.txt"}));
    // Deepest first, {app} last; elsewhere only the folder written into.
    EXPECT_EQ(Plan.Folders, (std::vector<WideString>{
                                u"C:\\Demo\\bin\\deep\\", u"C:\\Program Files\\Common\\Tools\\",
                                u"C:\\Demo\\bin\\", u"C:\\Demo\\docs\\", u"C:\\Demo\\"}));
    EXPECT_EQ(Plan.Shortcuts[1], u"C:\\Programs\\Demo\\Demo.lnk");
    EXPECT_EQ(Plan.ShortcutFolders,
              (std::vector<WideString>{u"C:\\Programs\\Demo\\Help\\", u"C:\\Programs\\Demo\\"}));
    ASSERT_EQ(Plan.Values.size(), 1u);
    EXPECT_EQ(Plan.Values[0].Root, HKEY_CURRENT_USER_VALUE);
    EXPECT_EQ(Plan.Values[0].SubKey, u"Software\\Demo\\C:\\Demo\\");
    EXPECT_FALSE(Plan.FoldersKept);

    // Installed into a drive root or Program Files itself: the files go, no folder does.
    for (const char16_t* App : {u"D:\\", u"c:\\program files\\", u"\\\\server\\share\\"}) {
        SetupAppDir = Places.AppDir = App;
        const TRemovalPlan Kept = PlanRemoval(Script, Places);
        EXPECT_TRUE(Kept.FoldersKept) << WideToUtf8(App);
        EXPECT_TRUE(Kept.Folders.empty()) << WideToUtf8(App);
        EXPECT_EQ(Kept.Files.size(), 4u);
    }
    EXPECT_FALSE(IsDriveRoot(u"\\\\server\\share\\app\\"));
}

TEST(RemovalPlanTests, NormalisedPathStaysBelowItsRoot) {
    const std::pair<const char16_t*, const char16_t*> Cases[] = {
        {u"C:\\A\\..\\..\\B\\.\\c.txt", u"C:\\B\\c.txt"},
        {u"C:/A//B/", u"C:\\A\\B\\"},
        {u"\\\\server\\share\\..\\x", u"\\\\server\\share\\x"},
        {u"C:\\..", u"C:\\"},
        {u"a\\..\\..\\b", u"b"},
    };
    for (const auto& [Path, Expected] : Cases)
        EXPECT_EQ(NormalisedPath(Path), Expected) << WideToUtf8(Path);
}

TEST(RemovalPlanTests, RegistryKeysThatMayGo) {
    for (const char16_t* Key :
         {u"Software\\Demo", u"Software\\Demo\\Sub\\", u"System\\Demo", u"Software\\Microsofty"})
        EXPECT_TRUE(MayRemoveRegistryKey(Key)) << WideToUtf8(Key);
    for (const char16_t* Key : {u"Software", u"Software\\", u"Software\\Microsoft",
                                u"software\\microsoft\\Windows\\Demo", u""})
        EXPECT_FALSE(MayRemoveRegistryKey(Key)) << WideToUtf8(Key);
    EXPECT_EQ(ParentRegistryKey(u"Software\\Demo\\Sub"), u"Software\\Demo");
    EXPECT_EQ(ParentRegistryKey(u"Software"), u"");
}
