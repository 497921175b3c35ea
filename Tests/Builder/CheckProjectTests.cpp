#include "BuildError.h"
#include "BuildProject.h"
#include "BuilderTestSupport.h"
#include "LxStrUtils.h"
#include "ProjectCheck.h"

#include <gtest/gtest.h>

namespace {

// Line 2 is "<BaseInfo " + Base + "/>" (its attributes start in column 11); line 3 is the body.
const char Ok[] = R"(AppTitle="T" Version="1.0" GUID="{11111111-2222-4333-8444-555555555555}")";

struct TBrokenProject {
    std::string Base;
    const char* Body;
    std::vector<const char*> Expected; // "LINE:COLUMN: severity: start of the message"
};

const TBrokenProject Projects[] = {
    {Ok, "", {}},
    {Ok,
     R"(<FileList><Items><TSetupFile SourcePath="files" SourceMask="a.txt"></Items></FileList>)",
     {"3:18: error: '<TSetupFile>' is never closed: '</Items>' at 3:68 ends its parent"}},
    {Ok + std::string(R"( CompanyName="A & B")"),
     "",
     {"2:99: error: '&' starts a reference: write '&amp;' for the character itself"}},
    {Ok,
     R"(<FileList><Items><TSetupFile SourcePath="files" SourceMsk="a.txt"/></Items></FileList>)",
     {"3:49: error: unknown attribute 'SourceMsk' of <TSetupFile> (did you mean 'SourceMask'?)",
      "3:18: error: the file item has no SourceMask"}},
    {Ok,
     "<RegLst/>",
     {"3:1: error: unknown element <RegLst> in <TSetupScript> (did you mean "
      "'RegList'?)"}},
    {Ok,
     R"(<RunList><Items><TSetupRun FileName="cmd.exe" Wait="Maybe"/></Items></RunList>)",
     {"3:53: error: 'Maybe' is not a Boolean: write True or False (the installer reads False)"}},
    {Ok + std::string(R"( WinVersion="wveWin99")"),
     "",
     {"2:96: error: 'wveWin99' is not one of wveWinXPOrHigher, wveWin7OrHigher (the installer "
      "reads wveWinXPOrHigher)"}},
    {Ok + std::string(R"( GotoUrlMode="GUMSILENT")"),
     "",
     {"2:97: warning: 'GUMSILENT' is spelt 'gumSilent'"}},
    {Ok + std::string(R"( MainFormColor="12x")"),
     "",
     {"2:99: error: '12x' is not a number (the installer keeps 16750848)"}},
    {Ok + std::string(R"( MainFormColor="$1000000")"),
     "",
     {"2:99: error: 16777216 is not a colour"}},
    {Ok,
     R"(<RegList><Items><TSetupReg SubKey="S" ValueType="rvtDWord" ValueData="1,000"/></Items></RegList>)",
     {"3:71: error: '1,000' is not a DWORD number"}},
    {Ok,
     R"(<RegList><Items><TSetupReg SubKey="S" ValueData="1" ValueName="{app}\{apps}"/></Items></RegList>)",
     {"3:70: error: unknown constant or variable '{apps}' (did you mean '{app}'?)"}},
    {Ok,
     R"(<VarList><Items><TSetupVar VarName="{A}"/><TSetupVar VarName="{a}"/></Items></VarList>)",
     {"3:63: error: the variable '{a}' is defined twice; the first, at 3:37, is the one used"}},
    {R"(AppTitle="T" Version="1.0")", "", {"2:1: error: BaseInfo has no GUID: it names"}},
    {R"(AppTitle="T" Version="1.0" GUID="{1234}")",
     "",
     {"2:44: error: '{1234}' is not a GUID such as"}},
    {R"(AppTitle="T" Version="1.2b" GUID="{11111111-2222-4333-8444-555555555555}")",
     "",
     {"2:33: error: '1.2b' gives the version 1.2.0.0: write up to four numbers"}},
    {Ok + std::string(R"( BuildMiniSetup="True")"),
     "",
     {"2:100: error: BuildMiniSetup is set but FullDownloadUrl is empty"}},
    {Ok + std::string(R"( BuildMiniSetup="True" FullDownloadUrl="ftp://host/x.exe")"),
     "",
     {"2:123: error: 'ftp://host/x.exe' is not an HTTP or HTTPS address"}},
    {Ok + std::string(R"( IconFile="Bad.png")"), "", {"2:94: error: 'Bad.png': not a PNG image"}},
    {Ok + std::string(R"( LicenseFile="Blob.bin")"),
     "",
     {"2:97: error: 'Blob.bin' is not text (it holds control bytes such as NUL)"}},
    {Ok,
     R"(<FileList><Items><TSetupFile SourcePath="files" SourceMask="*.dll"/></Items></FileList>)",
     {"3:61: error: nothing matches 'files\\*.dll'"}},
    {Ok,
     R"(<FileList><Items><TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*"/><TSetupFile DestDir="{APP}\" SourcePath="files" SourceMask="b.txt"/></Items></FileList>)",
     {"3:81: warning: writes {APP}\\b.txt again, as the item at 3:18 does"}},
    {Ok,
     R"(<FileList><Items><TSetupFile DestDir="{app}" SourcePath="files" SourceMask="a.txt"/></Items></FileList><ShortCutList><Items><TSetupShortCut DstFile="{app}A.TXT"/><TSetupShortCut DstFile="{app}\x.exe"/></Items></ShortCutList>)",
     {"3:188: warning: the shortcut's target '{app}\\x.exe' is not a file of the package"}},
    {Ok,
     R"(<RunList><Items><TSetupRun FileName="{pf}\Other\x.exe"/><TSetupRun FileName="notepad.exe"/><TSetupRun FileName="C:\Windows\System32\cmd.exe"/></Items></RunList>)",
     {"3:38: warning: '{pf}\\Other\\x.exe' is neither a file of the package nor a system program"}},
};

std::string Describe(const std::vector<TDiagnostic>& Found) {
    std::string Text;
    for (const TDiagnostic& Item : Found)
        Text += WideToUtf8(FormatDiagnostic(u"", Item, false)) + "\n";
    return Text;
}

} // namespace

TEST(CheckProject, ReportsEachProblemWithItsPlaceAndWhatTheInstallerWouldDo) {
    TScratchFolder Folder("check");
    // The smallest PNG the icon needs: the signature and an IHDR chunk.
    WriteBytes(Folder / "Icon.png",
               {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                0,    0,   1,   0,   0,    0,    1,    8,    6, 0, 0, 0,  0,   0,   0,   0});
    WriteText(Folder / "Bad.png", "GIF89a");
    WriteBytes(Folder / "Blob.bin", {'M', 'Z', 0, 0});
    WriteText(Folder / "files/a.txt", "a");
    WriteText(Folder / "files/b.txt", "b");
    const fs::path Project = Folder / "Project.xml";
    for (const TBrokenProject& Row : Projects) {
        SCOPED_TRACE(Row.Base + Row.Body);
        WriteText(Project, "<TSetupScript>\n<BaseInfo " + Row.Base + "/>\n" + Row.Body +
                               "\n</TSetupScript>\n");
        const TDiagnostics Diagnostics = CheckProject(Project);
        const std::vector<TDiagnostic> Found = Diagnostics.Sorted();
        std::vector<std::string> Expected(Row.Expected.begin(), Row.Expected.end());
        std::sort(Expected.begin(), Expected.end(), [](const std::string& A, const std::string& B) {
            return std::make_pair(std::stoi(A), std::stoi(A.substr(A.find(':') + 1))) <
                   std::make_pair(std::stoi(B), std::stoi(B.substr(B.find(':') + 1)));
        });
        ASSERT_EQ(Found.size(), Expected.size()) << Describe(Found);
        for (size_t I = 0; I < Found.size(); ++I) {
            const std::string Line = WideToUtf8(FormatDiagnostic(u"P", Found[I], false));
            EXPECT_EQ(Line.rfind("P:" + Expected[I], 0), 0u) << Line;
        }
        // The command fails on errors, and on warnings only with --werror.
        const int Errors = Diagnostics.Count(TSeverity::Error);
        const int Warnings = Diagnostics.Count(TSeverity::Warning);
        EXPECT_EQ(RunVerb({"check", Project.string(), "-q"}), Errors ? 1 : 0);
        EXPECT_EQ(RunVerb({"check", Project.string(), "-q", "--werror"}),
                  Errors + Warnings ? 1 : 0);
    }
}

TEST(CheckProject, StarterProjectPassesTheCheckAndBuilds) {
    TScratchFolder Folder("new");
    const fs::path Dir = Folder / "Demo App";
    ASSERT_EQ(RunVerb({"new", Dir.string()}), 0);
    const TDiagnostics Diagnostics = CheckProject(Dir / "Project.xml");
    EXPECT_EQ(Describe(Diagnostics.Sorted()), "");
    TBuildRequest Request;
    Request.Project = Dir / "Project.xml";
    Request.OutputDir = Folder / "out";
    Request.Stub = TestStub("x86");
    EXPECT_EQ(BuildProject(Request).Files, 2u);
    EXPECT_TRUE(fs::exists(Folder / "out/Demo App Setup.exe"));
    EXPECT_THROW(RunVerb({"new", Dir.string()}), EBuildError);
}
