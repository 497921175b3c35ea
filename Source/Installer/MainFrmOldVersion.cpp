// Before writing anything: the older installation's quiet uninstall, then every running copy
// of the package's programs ended.

#include "Application.h"
#include "LxPlatform.h"
#include "LxRegistry.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MainFrm.h"

namespace {

// "QuietUninstallString" of a key; empty when the key or value is missing. A value of another
// type than a string is a broken registry and raises.
WideString QuietUninstallString(const WideString& Guid, WideStringView Suffix) {
    const TLxRegistryKey Key =
        TLxRegistryKey::Open(HKEY_LOCAL_MACHINE_VALUE, UninstallKeyPath(Guid, Suffix));
    return Key ? Key.ReadString(u"QuietUninstallString") : WideString();
}

} // namespace

void TMainForm::UninstallOldVersion() {
    const WideString& Guid = FScript->BaseInfo().GUID;
    for (const WideStringView Suffix : {OtherUninstallKeySuffix, OwnUninstallKeySuffix}) {
        const WideString Command = QuietUninstallString(Guid, Suffix);
        if (Command.empty()) continue;
        Application.SetBusyCursor(true);
        struct TRestore {
            ~TRestore() { Application.SetBusyCursor(false); }
        } Restore;
        TLxWinfn::RunAndWait(Command);
        Sleep(2000);
    }
}

void TMainForm::KillRunningPrograms() {
    const WideString Own = ExtractFileName(ParamStr(0));
    // The system's own taskkill, never one found through the search path.
    const WideString TaskKill = TLxSysfn::SystemFolderPath(u"taskkill.exe");
    const TSetupFileList& Files = FScript->FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const WideString Name = ExtractFileName(Files.Items(I)->SourceMask);
        if (!SameText(ExtractFileExt(Name), u".exe") || SameText(Name, Own)) continue;
        TLxWinfn::RunCaptured(FormatText(u"\"%s\" /F /IM %s", TaskKill, Name));
        Sleep(300);
    }
}
