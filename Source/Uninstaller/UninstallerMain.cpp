// The uninstaller's entry: the data beside the program, then the window or, with /SILENT, the
// removal alone.

#include "Application.h"
#include "LxLog.h"
#include "LxPlatform.h"
#include "LxProcessExit.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MySetupUtils.h"
#include "SelfRemoval.h"
#include "UninstallFrm.h"
#include "Uninstaller.h"
#include "WindowsProgram.h"

namespace {

// Every message goes to standard error in silent mode, where no window may wait for a user.
void Inform(bool Silent, WideStringView Text) {
    LxLog::Write(u"Message: %s", Text);
    if (Silent)
        WriteStandardError(Text);
    else
        TLxWinfn::InfoBox(nullptr, Text, Application.Title);
}

// Its own file, moved away while removing, goes once the process has ended.
WideString MovedSelf;

uint32_t Uninstall(bool Silent) {
    std::unique_ptr<TUninstaller> Uninstaller;
    struct TKeep {
        const std::unique_ptr<TUninstaller>& Uninstaller;
        ~TKeep() {
            if (Uninstaller) MovedSelf = Uninstaller->MovedSelf();
        }
    } Keep{Uninstaller};
    try {
        Uninstaller = std::make_unique<TUninstaller>(ExtractFilePath(ParamStr(0)));
    } catch (const Exception& Error) {
        Inform(Silent, FormatText(u"卸载信息已损坏或丢失，无法卸载：%s", Error.Message()));
        return ExitCodeError;
    }
    if (Silent) {
        Uninstaller->Remove([](WideStringView) {});
        const WideString Report = RemovalReport(*Uninstaller);
        if (!Report.empty()) WriteStandardError(Trim(Report));
        return Uninstaller->Remaining().empty() ? ExitCodeSuccess : ExitCodeError;
    }
    TUninstallForm Form(*Uninstaller);
    Form.ShowWindow();
    UpdateWindow(Form.Handle());
    Application.Run();
    return Form.ExitCode();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A copy started to delete the uninstaller's moved file does that alone.
    TLxSysfn::RestrictDllSearch();
    FinishSelfRemoval();
    const uint32_t ExitCode = RunWindowsProgram([] {
        TSetupfn::InitConstants();
        Application.Title = u"卸载程序";
        const TRunOptions Options = TakeRunOptions(ParamList());
        const bool Silent = Options.Rest.size() == 1 && SameText(Options.Rest[0], u"/SILENT");
        LxLog::OpenFor(Options.Log);
        LxLog::Write(u"onesetup uninstaller %s", AsciiToWide(ONESETUP_VERSION));
        LxLog::Write(u"Command line: %s", PlatformCommandLine());
        LxLog::Write(Silent ? u"Mode: silent" : u"Mode: window");
        if (Silent)
            Application.ReportError = [](const std::exception& Error) {
                const auto* Own = dynamic_cast<const Exception*>(&Error);
                WriteStandardError(Own ? Own->Message() : Utf8ToWide(Error.what()));
            };
        return Uninstall(Silent);
    });
    DeleteAfterExit(MovedSelf);
    ExitProgram(ExitCode);
}
