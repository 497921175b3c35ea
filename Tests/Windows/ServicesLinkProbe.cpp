// Links every Windows service, so that check_imports.py sees each DLL they import. Runs
// nothing unless asked to with "--run-all".

#include "FileDataClasses.h"
#include "LxResources.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxVclUtils.h"
#include "MySetupUtils.h"

#include <cstring>

// The window toolkit's part, which this probe does not link.
void TLxModalHooks::ModalStarted() {}
void TLxModalHooks::ModalFinished() {}

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--run-all") != 0) return 0;
    TLxWinfn::RunAndWait(u"cmd /c exit");
    TLxWinfn::RunCaptured(u"cmd /c exit");
    TLxWinfn::ShellExecute(nullptr, u"", u"x", u"", u"", 0, true);
    TLxWinfn::OpenUrl(u"about:blank");
    TLxWinfn::InfoBox(nullptr, TLxWinfn::GetTempPath(), u"");
    const bool Versions = TLxWinfn::IsWinXPOrHigher() && TLxWinfn::IsWin7OrHigher();
    TLxSysfn::WriteConsoleLine(TLxSysfn::SystemFolderPath(u"taskkill.exe"));
    const bool Developer = TLxSysfn::IsDeveloperMode();
    TLxFilefn::SetFileTimes(TLxFilefn::GetLongPathName(u"."), TLxFileTimes{});
    TLxFilefn::ForceFileDir(TLxRegfn::GetSpecialFolder(0) + u"x\\y");
    SetCurrentDir(ParamStr(ParamCount()));
    const bool Same = SameText(TLxStrfn::NewGUIDString(), u"");
    TSetupfn::InitConstants();
    TFileDataList List;
    List.LoadFromModule(nullptr);
    TResourceStream Stream(nullptr, u"x");
    WideString Folder;
    TLxVclfn::SelectFolder(nullptr, u"", Folder);
    return Versions + Developer + Same;
}
