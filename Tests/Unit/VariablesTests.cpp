#include "LxPlatform.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

#include <gtest/gtest.h>

namespace {

// The path values are process-wide: every test starts from known ones and leaves them as found.
class VariablesTests : public ::testing::Test {
protected:
    void SetUp() override {
        Saved = {SetupProgramFilesDir, SetupCommonProgramsDir, SetupDesktopDir, SetupAppDir,
                 SetupAppTitle};
        SetupProgramFilesDir = u"C:\\Program Files";
        SetupCommonProgramsDir = u"C:\\ProgramData\\Start Menu\\Programs\\";
        SetupDesktopDir = u"C:\\Users\\Me\\Desktop\\";
        SetupAppDir = u"C:\\Demo\\";
        SetupAppTitle = u"Demo";
    }
    void TearDown() override {
        SetupProgramFilesDir = Saved[0];
        SetupCommonProgramsDir = Saved[1];
        SetupDesktopDir = Saved[2];
        SetupAppDir = Saved[3];
        SetupAppTitle = Saved[4];
    }

    static WideString Expand(WideStringView Text) { return TSetupfn::ExpandConstant(Text); }

private:
    std::vector<WideString> Saved;
};

std::vector<WideString> Names(const TSetupVarList& Vars) {
    std::vector<WideString> Result;
    for (int I = 0; I < Vars.Count(); ++I)
        Result.push_back(Vars.Items(I)->VarName);
    return Result;
}

} // namespace

TEST_F(VariablesTests, ExpandsEachPathConstant) {
    EXPECT_EQ(Expand(u"{pf}\\Demo"), u"C:\\Program Files\\Demo");
    EXPECT_EQ(Expand(u"{desktop}\\Demo.lnk"), u"C:\\Users\\Me\\Desktop\\Demo.lnk");
    EXPECT_EQ(Expand(u"{app}\\bin\\x.exe"), u"C:\\Demo\\bin\\x.exe");
    EXPECT_EQ(Expand(u"{app}x.exe"), u"C:\\Demo\\x.exe");
    EXPECT_EQ(Expand(u"{app}a;{app}b"), u"C:\\Demo\\a;C:\\Demo\\b");
    EXPECT_EQ(Expand(u"{srcexe}"), PlatformModuleFileName());
    EXPECT_FALSE(PlatformModuleFileName().empty());
}

TEST_F(VariablesTests, ConstantsIgnoreCaseAndOtherBracesStay) {
    EXPECT_EQ(Expand(u"{PF}\\Demo"), Expand(u"{pf}\\Demo"));
    EXPECT_EQ(Expand(u"{App}{DESKTOP}"), u"C:\\Demo\\C:\\Users\\Me\\Desktop\\");
    EXPECT_EQ(Expand(u"{SrcExe}"), PlatformModuleFileName());
    EXPECT_EQ(Expand(u"{sys}\\x"), u"{sys}\\x");
    EXPECT_EQ(Expand(u"{AppTitle}"), u"{AppTitle}");
    EXPECT_EQ(Expand(u"{app"), u"{app");
}

TEST_F(VariablesTests, GroupIsTheProgramsFolderAndTitle) {
    EXPECT_EQ(Expand(u"{group}"), u"C:\\ProgramData\\Start Menu\\Programs\\Demo\\");
    EXPECT_EQ(Expand(u"{group}\\Uninstall"),
              u"C:\\ProgramData\\Start Menu\\Programs\\Demo\\Uninstall");
    SetupAppTitle = u"Demo\\";
    EXPECT_EQ(Expand(u"{group}"), u"C:\\ProgramData\\Start Menu\\Programs\\Demo\\");
    SetupAppTitle = u"Demo";
    SetupCommonProgramsDir.clear();
    EXPECT_EQ(Expand(u"{group}"), u"Demo\\");
}

TEST_F(VariablesTests, CollapsesDoubledBackslashesLeftToRight) {
    SetupAppDir.clear();
    EXPECT_EQ(Expand(u"a\\\\b"), u"a\\b");
    EXPECT_EQ(Expand(u"a\\\\\\b"), u"a\\\\b");
    EXPECT_EQ(Expand(u"a\\\\\\\\b"), u"a\\\\b");
    EXPECT_EQ(Expand(u"\\\\server\\share"), u"\\server\\share");
    EXPECT_EQ(Expand(u"{app}\\x.exe"), u"\\x.exe");
}

TEST_F(VariablesTests, LaterConstantsInReplacementsAreExpanded) {
    SetupAppTitle = u"{app}";
    SetupAppDir = u"D:\\A\\";
    // {group} runs before {app}, so the title's {app} is replaced as well.
    EXPECT_EQ(Expand(u"{group}"), u"C:\\ProgramData\\Start Menu\\Programs\\D:\\A\\");
    // {pf} runs before {app}: it stays in {app}'s replacement.
    SetupAppDir = u"{pf}\\";
    EXPECT_EQ(Expand(u"{app}x"), u"{pf}\\x");
    SetupDesktopDir = u"{group}";
    EXPECT_EQ(Expand(u"{desktop}"), u"{group}");
}

TEST_F(VariablesTests, InitConstantsFromNormalisesTrailingBackslashes) {
    TSetupfn::InitConstantsFrom(u"C:\\Program Files\\", u"C:\\Desk\\", u"C:\\Programs");
    EXPECT_EQ(SetupProgramFilesDir, u"C:\\Program Files");
    EXPECT_EQ(SetupDesktopDir, u"C:\\Desk\\");
    EXPECT_EQ(SetupCommonProgramsDir, u"C:\\Programs\\");

    TSetupfn::InitConstantsFrom(u"C:\\PF\\\\", u"", u"C:\\Programs\\");
    EXPECT_EQ(SetupProgramFilesDir, u"C:\\PF\\");
    EXPECT_EQ(SetupDesktopDir, u"");
    EXPECT_EQ(SetupCommonProgramsDir, u"C:\\Programs\\");

    TSetupfn::InitConstantsFrom(u"C:\\PF", u"", u"");
    EXPECT_EQ(SetupProgramFilesDir, u"C:\\PF");
    EXPECT_EQ(SetupCommonProgramsDir, u"");
}

TEST(VariablesListTests, StartsWithTheTenDefaults) {
    TSetupVarList Vars;
    EXPECT_EQ(Names(Vars),
              (std::vector<WideString>{u"{AppTitle}", u"{Version}", u"{MainExeName}", u"{GUID}",
                                       u"{AppID}", u"{Copyright}", u"{CompanyName}",
                                       u"{CompanyUrl}", u"{DefaultFolder}", u"{Condition}"}));
    for (int I = 0; I < Vars.Count(); ++I)
        EXPECT_TRUE(Vars.Items(I)->Checked);
    EXPECT_EQ(Vars.ExpandVars(u"{Version}"), u"1.0.0.0");
    EXPECT_EQ(Vars.Find(u"{AppTitle}")->VarValue, u"AppTitle");
    EXPECT_EQ(Vars.Find(u"{MainExeName}")->VarValue, u"MyApp");
    EXPECT_EQ(Vars.Find(u"{Condition}")->VarValue, u"");

    const WideString Guid = Vars.Find(u"{GUID}")->VarValue;
    ASSERT_EQ(Guid.size(), 38u);
    EXPECT_EQ(Guid.front(), u'{');
    EXPECT_EQ(Guid.back(), u'}');
    EXPECT_NE(Guid, TSetupVarList().Find(u"{GUID}")->VarValue);

    const WideString AppId = Vars.Find(u"{AppID}")->VarValue;
    ASSERT_EQ(AppId.size(), 5u);
    for (char16_t C : AppId)
        EXPECT_TRUE(C >= u'0' && C <= u'9');
}

TEST(VariablesListTests, LooksUpNamesIgnoringCase) {
    TSetupVarList Vars;
    EXPECT_EQ(Vars.IndexOf(u"{version}"), 1);
    EXPECT_EQ(Vars.IndexOf(u"{VERSION}"), 1);
    EXPECT_EQ(Vars.IndexOf(u"{Nope}"), -1);
    EXPECT_EQ(Vars.Find(u"{Nope}"), nullptr);
    EXPECT_EQ(Vars.Find(u"{appid}"), Vars.Items(4));

    EXPECT_EQ(Vars.Add(u"{APPTITLE}"), Vars.Items(0));
    EXPECT_EQ(Vars.Count(), 10);
    TSetupVar* Added = Vars.Add(u"{Extra}");
    EXPECT_EQ(Vars.Count(), 11);
    EXPECT_EQ(Vars.Items(10), Added);
    EXPECT_TRUE(Added->Checked);
    EXPECT_EQ(Added->VarValue, u"");

    // Defaults are refreshed in place, never duplicated.
    Vars.Items(1)->VarValue = u"9.9";
    Vars.Items(1)->Checked = false;
    Vars.AddDefaultVars();
    EXPECT_EQ(Vars.Count(), 11);
    EXPECT_EQ(Vars.Items(1)->VarValue, u"1.0.0.0");
    EXPECT_TRUE(Vars.Items(1)->Checked);
}

TEST(VariablesListTests, ExpandsInListOrderOnlyOnce) {
    TSetupVarList Vars;
    Vars.Clear();
    Vars.Add(u"{A}")->VarValue = u"<{B}>";
    Vars.Add(u"{B}")->VarValue = u"b";
    Vars.Add(u"{C}")->VarValue = u"[{a}]";
    // {A} names the later {B}: expanded. {C} names the earlier {A}: left alone.
    EXPECT_EQ(Vars.ExpandVars(u"{a}|{C}|{b}|{D}"), u"<b>|[{a}]|b|{D}");
    Vars.Find(u"{B}")->Checked = false;
    EXPECT_EQ(Vars.ExpandVars(u"{A}{B}"), u"<{B}>{B}");

    TSetupVar Self;
    Self.VarName = u"{X}";
    Self.VarValue = u"{x}{X}";
    EXPECT_EQ(Self.ExpandIn(u"{X}-{x}"), u"{x}{X}-{x}{X}");
    Self.VarName.clear();
    EXPECT_EQ(Self.ExpandIn(u"{X}"), u"{X}");
}

TEST(VariablesListTests, ItemsExpandExactlyTheirTextProperties) {
    TSetupVarList Vars;
    Vars.Clear();
    Vars.Add(u"{V}")->VarValue = u"v";

    TSetupFile File;
    File.Condition = File.DestDir = File.SourceMask = File.SourcePath = File.NewFileName =
        File.ResID = u"{V}";
    File.ExpandVars(Vars);
    EXPECT_EQ(File.Condition + File.DestDir + File.SourceMask + File.SourcePath + File.NewFileName,
              u"vvvvv");
    EXPECT_EQ(File.ResID, u"{V}");

    TSetupReg Reg;
    Reg.Condition = Reg.SubKey = Reg.ValueData = Reg.ValueName = u"{V}";
    Reg.ExpandVars(Vars);
    EXPECT_EQ(Reg.Condition + Reg.SubKey + Reg.ValueData + Reg.ValueName, u"vvvv");

    TSetupRun Run;
    Run.Condition = Run.Params = Run.FileName = Run.WorkDir = u"{V}";
    Run.ExpandVars(Vars);
    EXPECT_EQ(Run.Condition + Run.Params + Run.FileName + Run.WorkDir, u"vvvv");

    TSetupShortCut Link;
    Link.Condition = Link.DstFile = Link.IconFile = Link.Name = Link.SaveDir = Link.WorkDir =
        u"{V}";
    Link.ExpandVars(Vars);
    EXPECT_EQ(Link.Condition + Link.DstFile + Link.IconFile + Link.Name + Link.SaveDir +
                  Link.WorkDir,
              u"vvvvvv");

    TSetupSwiper Swiper;
    Swiper.Condition = Swiper.FileName = Swiper.ResID = u"{V}";
    // Called through the base so the override is what runs.
    static_cast<TBaseConditionItem&>(Swiper).ExpandVars(Vars);
    EXPECT_EQ(Swiper.Condition + Swiper.FileName, u"vv");
    EXPECT_EQ(Swiper.ResID, u"{V}");
}
