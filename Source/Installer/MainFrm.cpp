// Startup: the resource module, the package, the script, the version gate, the home page and
// the command line.

#include "MainFrm.h"

#include "Application.h"
#include "LxLog.h"
#include "LxPlatform.h"
#include "LxRegistry.h"
#include "LxResources.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxVclUtils.h"
#include "MySetupUtils.h"

namespace {

// A full installer a developer keeps at hand: the debugger run of a bare stub installs it.
const wchar_t DeveloperModulePath[] = L"C:\\OnesetupDev\\FullSetup.exe";

// The previous installation's folder, from the uninstall key the installer registers. A value
// of another type than a string counts as none.
bool ReadInstallLocation(const WideString& Guid, WideString& Location) {
    const TLxRegistryKey Key = TLxRegistryKey::Open(HKEY_LOCAL_MACHINE_VALUE,
                                                    UninstallKeyPath(Guid, OwnUninstallKeySuffix));
    if (!Key || Key.ValueKind(u"InstallLocation") != TRegValueKind::String) return false;
    Location = Key.ReadString(u"InstallLocation");
    return true;
}

} // namespace

TMainForm::TMainForm() : TBaseForm(nullptr, 750, 480, bsNone) {
    Application.MainForm = this;
    // Known from the start, so that a silent run reports everything that stops it (a damaged
    // package, the version gate) on standard error instead of in a box nobody will close.
    const TRunOptions Options = TakeRunOptions(ParamList());
    const bool OneArgument = Options.Rest.size() == 1;
    FSilentMode = OneArgument && SameText(Options.Rest[0], u"/Silent");
    FAutoMode = OneArgument && SameText(Options.Rest[0], u"/Auto");
    FDirOption = Options.Dir;
    LxLog::OpenFor(Options.Log);
    LogStart();
    if (FSilentMode)
        Application.ReportError = [](const std::exception& Error) {
            const auto* Own = dynamic_cast<const Exception*>(&Error);
            WriteStandardError(Own ? Own->Message() : Utf8ToWide(Error.what()));
        };
    CreateControls();
    FinishDesign();
    OnCloseQuery = [this] { return CanClose(); };
    FScript = std::make_unique<TSetupScript>();
    FProxy = std::make_unique<TLxHttpProxy>();

    imgIcon->Hide();
    for (TControl* Control :
         std::initializer_list<TControl*>{pbLogo, lblAppTitle, lblVersion, btnInstall})
        Control->SetLeft((ClientWidth() - Control->Width()) / 2);
    FState = istReady;

    // The running executable serves its own package without a second mapping.
    if (TLxSysfn::IsDeveloperMode())
        FDeveloperModule.Reset(
            LoadLibraryExW(DeveloperModulePath, nullptr,
                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    FModule = FDeveloperModule ? FDeveloperModule.Get() : GetModuleHandleW(nullptr);

    TMemoryStream Stream;
    if (ResourceExists(FullSetupScriptResName)) {
        FFullPackage = true;
        LoadResourceStream(FullSetupScriptResName, Stream);
    } else if (ResourceExists(MiniSetupScriptResName)) {
        FFullPackage = false;
        LoadResourceStream(MiniSetupScriptResName, Stream);
    } else {
        LxLog::Write(u"No package in this file");
        ExitProgram(Unattended(ExitCodeNoPackage));
    }
    Stream.SetPosition(0);
    FScript->LoadFromStream(Stream);
    const TSetupBaseInfo& Info = FScript->BaseInfo();

    SetCaption(FormatText(u"%s 安装程序", Info.AppTitle));
    Application.Title = Caption();

    const bool TooOld = (Info.WinVersion == wveWinXPOrHigher && !TLxWinfn::IsWinXPOrHigher()) ||
                        (Info.WinVersion == wveWin7OrHigher && !TLxWinfn::IsWin7OrHigher());
    LxLog::Write(u"Product: %s %s, %s package", Info.AppTitle, Info.Version,
                 FFullPackage ? u"full" : u"mini");
    if (TooOld) {
        const WideStringView Text = Info.WinVersion == wveWinXPOrHigher
                                        ? u"请在 Windows XP 及以上版本系统中安装本软件。"
                                        : u"请在 Windows 7 及以上版本系统中安装本软件。";
        LxLog::Write(u"Refused: %s", Text);
        Inform(Text);
        ExitProgram(Unattended(ExitCodeWindowsTooOld));
    }

    SetupAppTitle = Info.AppTitle;
    pnlMainFormColor->Color = TColor(Info.MainFormColor);
    lblAppTitle->SetCaption(Info.AppTitle);
    lblVersion->SetCaption(FormatText(u"版本：%s", Info.Version));
    edtDestDir->SetText(TSetupfn::ExpandConstant(Info.DefInstallPath));
    lblProxy->SetVisible(!FFullPackage);
    if (ReadInstallLocation(Info.GUID, FPreviousDir)) {
        LxLog::Write(u"Previous installation: %s", FPreviousDir);
        edtDestDir->SetText(FPreviousDir);
    }
    if (FDirOption) {
        // A caller quoting by the C runtime's rules doubles the backslash before the closing
        // quote ("/Dir=C:\App\\"): the folder ends in one.
        WideString Folder = *FDirOption;
        while (Folder.size() > 1 && Folder.ends_with(u"\\\\"))
            Folder.pop_back();
        edtDestDir->SetText(Folder);
    }

    LoadAppIcon();
    LoadLicenseText();
    btnDestDir->SetLeft(ClientWidth() - btnDestDir->Width() - 16);
    edtDestDir->SetWidth(btnDestDir->Left() - 8 - edtDestDir->Left());
    UpdateInstallButton();
    ParseCommandLine();
}

TMainForm::~TMainForm() {
    ReleaseDownload();
}

bool TMainForm::ResourceExists(WideStringView Name) const {
    return RcDataExists(FModule, Name);
}

bool TMainForm::LoadResourceStream(WideStringView Name, TMemoryStream& Stream) const {
    TResourceStream Resource(FModule, Name);
    Stream.Clear();
    Stream.CopyFrom(Resource, 0);
    TSetupfn::DecodeStream(Stream);
    return true;
}

void TMainForm::LogStart() const {
    if (!LxLog::Active()) return;
    LxLog::Write(u"onesetup installer %s (%s)", AsciiToWide(ONESETUP_VERSION),
                 sizeof(void*) == 4 ? u"x86" : u"x64");
    LxLog::Write(u"Command line: %s", PlatformCommandLine());
    LxLog::Write(u"Mode: %s", FSilentMode ? u"silent" : FAutoMode ? u"auto" : u"window");
}

// The modes were read at the start; here they take effect.
void TMainForm::ParseCommandLine() {
    if (FSilentMode) {
        btnInstallClick();
        // The reason is already on standard error.
        if (FState != istFinished) ExitProgram(ExitCodeStopped);
        return;
    }
    if (FAutoMode) {
        // The first paint already shows the installing look, the wait label centred.
        ShowInstallingLook();
        constexpr int WaitWidth = 149;
        lblWait->SetBounds((pnlBottom->Width() - WaitWidth) / 2, lblWait->Top(), WaitWidth,
                           lblWait->Height());
        ShowWindow();
        UpdateWindow(Handle());
        btnInstallClick();
        return;
    }
    ShowWindow();
    UpdateWindow(Handle());
}

LRESULT TMainForm::WndProc(UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_INSTALL_FINISH) {
        WMInstallFinish();
        return 0;
    }
    return TBaseForm::WndProc(Message, WParam, LParam);
}
