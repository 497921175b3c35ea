#include "StarterProject.h"

#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "Package/DefaultIcon.h"

namespace {

const char Script[] = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- A onesetup project: the setup script of an installer, whose file items name their sources.
     "onesetup check Project.xml" reports its problems; "onesetup build Project.xml" writes the
     installer next to it. -->
<TSetupScript>
    <!-- General settings. GUID names the product's uninstall entry: keep it in every version.
         Version gives the numbers of that entry. {pf} is the Program Files folder.
         ScaleWithDisplay="True" makes the windows grow with the display's scale (150 %, 200 %);
         then give IconFile at twice its 96-pixel box, 192 x 192, so that it stays sharp. -->
    <BaseInfo AppTitle="%TITLE%" ProductName="%TITLE%" Version="1.0.0.0" GUID="%GUID%"
        CompanyName="" LegalCopyright="" WinVersion="wveWin7OrHigher"
        DefInstallPath="{pf}\%TITLE%" IconFile="Icon.png" LicenseFile="License.txt"
        FullSetupFile="%TITLE% Setup.exe" MainFormColor="16750848"/>
    <!-- The files: everything in the folder "files" and its sub-folders goes to the
         installation folder, {app}. -->
    <FileList>
        <Items>
            <TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*" IncludeSubPath="True"/>
        </Items>
    </FileList>
    <!-- Registry values written while installing. -->
    <RegList>
        <Items>
            <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\{AppTitle}" ValueName="InstallDir"
                ValueData="{app}" ValueType="rvtString"/>
        </Items>
    </RegList>
    <!-- Programs of the package to run: Wait="True" while installing, Wait="False" when the
         user closes the installer. For example:
         <TSetupRun FileName="{app}\MyProgram.exe" Params="" Wait="False" WorkDir="{app}"/> -->
    <RunList>
        <Items/>
    </RunList>
    <!-- Shortcuts: SaveDir {group} is the product's Start menu folder, {desktop} the desktop. -->
    <ShortCutList>
        <Items>
            <TSetupShortCut DstFile="{app}\ReadMe.txt" Name="{AppTitle} ReadMe" SaveDir="{group}"
                WorkDir="{app}"/>
        </Items>
    </ShortCutList>
    <!-- Variables, substituted into the texts of the items when building. -->
    <VarList>
        <Items>
            <TSetupVar VarName="{AppTitle}" VarValue="%TITLE%"/>
        </Items>
    </VarList>
</TSetupScript>
)";

const char Licence[] = R"(Licence agreement for %TITLE%

Replace this text with the licence of your product. The installer shows it behind the link next
to the consent box; the user installs only after agreeing.
)";

const char ReadMe[] = R"(%TITLE%

The installer writes this file into the installation folder. Replace the contents of the folder
"files" with the files of your product.
)";

const char Settings[] = "[General]\nLanguage=zh-CN\n";

// UTF-8 with CR LF line ends and, for texts that people open, a byte-order mark.
std::vector<uint8_t> Text(std::string_view Template, WideStringView Title, bool Mark) {
    std::string Result = Mark ? "\xEF\xBB\xBF" : "";
    const std::string Filled = WideToUtf8(
        StringReplace(StringReplace(Utf8ToWide(Template), u"%TITLE%", Title, rfReplaceAll),
                      u"%GUID%", TLxStrfn::NewGUIDString(), rfReplaceAll));
    for (const char C : Filled) {
        if (C == '\n') Result += '\r';
        Result += C;
    }
    return std::vector<uint8_t>(Result.begin(), Result.end());
}

} // namespace

std::vector<std::pair<fs::path, std::vector<uint8_t>>> StarterProjectFiles(WideStringView Title) {
    return {
        {StarterProjectName, Text(Script, Title, false)},
        {"Icon.png", MakeDefaultIconPng(0xFF9900)},
        {"License.txt", Text(Licence, Title, true)},
        {fs::path("files") / "ReadMe.txt", Text(ReadMe, Title, true)},
        {fs::path("files") / "data" / "Settings.ini", Text(Settings, Title, false)},
    };
}
