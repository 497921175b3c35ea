#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

WideString SetupProgramFilesDir;
WideString SetupCommonProgramsDir;
WideString SetupDesktopDir;
WideString SetupAppDir;
WideString SetupAppTitle;

WideString TSetupfn::ExpandConstant(WideStringView Text) {
    const unsigned Flags = rfReplaceAll | rfIgnoreCase;
    WideString Result = StringReplace(Text, u"{pf}", SetupProgramFilesDir, Flags);
    Result = StringReplace(Result, u"{group}",
                           IncludeTrailingBackslash(SetupCommonProgramsDir + SetupAppTitle), Flags);
    Result = StringReplace(Result, u"{desktop}", SetupDesktopDir, Flags);
    Result = StringReplace(Result, u"{app}", SetupAppDir, Flags);
    if (FindText(Result, u"{srcexe}") != WideString::npos)
        Result = StringReplace(Result, u"{srcexe}", PlatformModuleFileName(), Flags);
    // Lets a script write {app}\Demo.exe although {app} ends in a backslash.
    return StringReplace(Result, u"\\\\", u"\\", rfReplaceAll);
}

WideString TSetupfn::TargetPath(const TSetupFile& Item) {
    return IncludeTrailingBackslash(ExpandConstant(Item.DestDir)) +
           (Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName);
}

void TSetupfn::InitConstantsFrom(WideStringView ProgramFiles, WideStringView DesktopDir,
                                 WideStringView CommonProgramsDir) {
    SetupProgramFilesDir = ExcludeTrailingBackslash(ProgramFiles);
    SetupDesktopDir = WideString(DesktopDir);
    // An unknown folder stays empty rather than becoming the root of the current drive.
    SetupCommonProgramsDir =
        CommonProgramsDir.empty() ? WideString() : IncludeTrailingBackslash(CommonProgramsDir);
}
