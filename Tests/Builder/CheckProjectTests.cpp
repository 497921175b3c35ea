#include "BuildError.h"
#include "BuildProject.h"
#include "BuilderTestSupport.h"
#include "LxStrUtils.h"
#include "ProjectCheck.h"

#include <gtest/gtest.h>

namespace {

// Line 2 is "<BaseInfo " + Base + "/>" (its attributes start in column 11); line 3 is the body.
const char Ok[] = R"(AppTitle="T" Version="1.0" GUID="{11111111-2222-4333-8444-555555555555}")";
const std::string Guid = R"( GUID="{11111111-2222-4333-8444-555555555555}")";

struct TBrokenProject {
    std::string Base;
    const char* Body;
    std::vector<const char*> Expected; // "LINE:COLUMN: severity: start of the message"
    const char* Root = "TSetupScript";
    const char* After = ""; // on line 5, after the root element
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
     {"3:63: warning: the variable '{a}' is defined twice; the first, at 3:37, is the one used"}},
    {R"(AppTitle="T" Version="1.0")", "", {"2:1: error: BaseInfo has no GUID: it names"}},
    {R"(AppTitle="T" Version="1.0" GUID="{1234}")",
     "",
     {"2:44: error: '{1234}' is not a GUID such as"}},
    // The version is display text; the uninstall entry takes its leading numbers.
    {R"(AppTitle="T" Version="2.5b")" + Guid,
     "",
     {"2:33: warning: '2.5b' is not only numbers: the uninstall entry shows it as written and "
      "registers MajorVersion 2, MinorVersion 5"}},
    {R"(AppTitle="T" Version="1.0 beta")" + Guid,
     "",
     {"2:33: warning: '1.0 beta' is not only numbers: the uninstall entry shows it as written and "
      "registers MajorVersion 1, MinorVersion 0"}},
    {R"(AppTitle="T" Version="2024.10.1-rc1")" + Guid,
     "",
     {"2:33: warning: '2024.10.1-rc1' is not only numbers: the uninstall entry shows it as "
      "written and registers MajorVersion 2024, MinorVersion 10"}},
    {R"(AppTitle="T")" + Guid,
     "",
     {"2:1: warning: BaseInfo has no Version: the uninstall entry shows none and registers "
      "MajorVersion 0, MinorVersion 0"}},
    // What the installer reads as meant, or ignores as it should.
    {Ok,
     "",
     {"1:1: warning: the root element is <Project>, not <TSetupScript>: the installer reads it",
      "5:1: warning: text outside the root element: the installer ignores it"},
     "Project",
     "x"},
    {Ok,
     "<FileList>note<Items>x</Items></FileList>",
     {"3:11: warning: text inside <FileList>: the installer ignores it",
      "3:22: warning: text inside <Items>: the installer ignores it"}},
    {Ok + std::string(R"( CompanyName="A"ProductName="B")"),
     "",
     {"2:99: warning: put a blank between attributes"}},
    {Ok + std::string(R"( GotoUrlMode="" MainFormColor="")"),
     R"(<FileList><Items><TSetupFile SourcePath="files" SourceMask="a.txt" LastWriteDate=""/></Items></FileList>)",
     {"2:97: warning: the value is empty, not one of gumSilent, gumByBrowser (the installer keeps "
      "gumSilent)",
      "2:114: warning: the value is empty, not a number (the installer keeps 16750848)",
      "3:83: warning: the value is empty, not a number (the installer keeps 0)"}},
    {Ok + std::string(R"( LicenseFile="Odd.txt")"),
     "",
     {"2:97: warning: 'Odd.txt' is UTF-16 of an odd length: the installer drops its last byte"}},
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
    WriteBytes(Folder / "Odd.txt", {0xFF, 0xFE, 'a', 0, 'b'});
    WriteText(Folder / "files/a.txt", "a");
    WriteText(Folder / "files/b.txt", "b");
    const fs::path Project = Folder / "Project.xml";
    const std::string Stub = TestStub("x86").string();
    for (const TBrokenProject& Row : Projects) {
        SCOPED_TRACE(Row.Base + Row.Body);
        WriteText(Project, "<" + std::string(Row.Root) + ">\n<BaseInfo " + Row.Base + "/>\n" +
                               Row.Body + "\n</" + Row.Root + ">\n" + Row.After);
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
        // Errors refuse the build; --werror refuses warnings too.
        const int Errors = Diagnostics.Count(TSeverity::Error);
        const int Warnings = Diagnostics.Count(TSeverity::Warning);
        EXPECT_EQ(RunVerb({"build", Project.string(), "-o", (Folder / "out").string(), "--stub",
                           Stub, "--uninstaller", Stub, "-q"}),
                  Errors ? 1 : 0);
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
