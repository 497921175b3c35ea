// Before writing anything: the older installation's quiet uninstall, then every running copy
// of the package's programs ended.

#include "Application.h"
#include "LxLog.h"
#include "LxPlatform.h"
#include "LxRegistry.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

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
        LxLog::Write(u"Previous version's uninstall: %s", Command);
        const uint32_t Code = TLxWinfn::RunAndWait(Command, true);
        LxLog::Write(u"Previous version's uninstall: exit code %d", int64_t(Code));
        TLxWinfn::SleepPainting(2000);
    }
}

void TMainForm::KillRunningPrograms() {
    // The package's programs where they are about to be written and, for a product that moves,
    // where the previous installation put them; nothing else of the same name is touched.
    const WideString Own = ExtractFileName(ParamStr(0));
    const WideString Previous = IncludeTrailingBackslash(FPreviousDir);
    const bool Moved = !FPreviousDir.empty() && TLxFilefn::ComparablePath(Previous) !=
                                                    TLxFilefn::ComparablePath(SetupAppDir);
    std::vector<WideString> Targets;
    const TSetupFileList& Files = FScript->FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        if (SameText(ExtractFileName(Item.SourceMask), Own)) continue;
        const WideString Target = TSetupfn::TargetPath(Item);
        if (!SameText(ExtractFileExt(Target), u".exe")) continue;
        Targets.push_back(TLxFilefn::ComparablePath(Target));
        if (Moved && Target.size() > SetupAppDir.size() &&
            SameText(WideStringView(Target).substr(0, SetupAppDir.size()), SetupAppDir))
            Targets.push_back(
                TLxFilefn::ComparablePath(Previous + Target.substr(SetupAppDir.size())));
    }
    if (Targets.empty()) return;
    Application.SetBusyCursor(true);
    struct TRestore {
        ~TRestore() { Application.SetBusyCursor(false); }
    } Restore;
    TLxWinfn::EndProcessesOf(Targets);
}
