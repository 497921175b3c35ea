#pragma once

#include "BaseFrm.h"
#include "FileDataClasses.h"
#include "GdiPlus.h"
#include "LxIndyUtils.h"
#include "LxProcessExit.h"
#include "LxWinHandles.h"
#include "MySetupUtils.h"
#include "SetupProject.h"
#include "SolidData.h"
#include "StdCtrls.h"

#include <optional>

class TMemoryStream;
class TFileData;
class TFileWorkers;
struct TFileJob;
struct TFileFailure;

enum TInstallState : uint8_t { istReady, istInstalling, istFinished };

// Posted by the finish button; its handler ends the process.
inline constexpr UINT WM_INSTALL_FINISH = WM_USER + 1;

// The installer's one window, from startup to the finish page.
class TMainForm : public TBaseForm {
public:
    TMainForm();
    ~TMainForm() override;

    // Controls (layout in MainFrmLayout.cpp).
    TPanel* pnlMainFormColor;
    TImage* imgBackground;
    TLabel* lblAppTitle;
    TLabel* lblVersion;
    TTitleGlyph* imgMinimize;
    TTitleGlyph* imgClose;
    TImage* imgIcon;
    TPaintBox* pbLogo;
    TButton* btnInstall;
    TPanel* pnlBottom;
    TLabel* lblDestDir;
    TEdit* edtDestDir;
    TButton* btnDestDir;
    TCheckBox* cbLicense;
    TLabel* lblLicense;
    TLabel* lblProxy;
    TLabel* lblWait;
    TProgressBar* pbProgress;
    TLabel* lblDetail;
    TButton* btnRunApp;

    // Startup.
    bool ResourceExists(WideStringView Name) const;
    bool LoadResourceStream(WideStringView Name, TMemoryStream& Stream) const;
    void ParseCommandLine();

    // Presentation.
    void LoadAppIcon();
    void LoadLicenseText();
    void UpdateInstallButton();
    void DragWindow();
    void ShowHomePage();
    void ShowInstallingLook();
    void ShowFinishPage();
    void DownloadWorkBegin(TLxHttp& Sender, TWorkMode Mode, int64_t Expected);
    void DownloadWork(TLxHttp& Sender, TWorkMode Mode, int64_t Count);
    void DownloadWorkEnd(TLxHttp& Sender, TWorkMode Mode);

    // The install sequence.
    void btnInstallClick();
    bool CheckDestDir();
    void btnDestDirClick();
    void btnRunAppClick();
    void WMInstallFinish();
    void VisitGotoUrl();

    // The steps, in the order the sequence calls them.
    bool DownloadFullSetup();
    // The downloaded installer matches the pinned digest and, when this installer is signed,
    // carries a valid signature of the same publisher.
    bool DownloadIsGenuine();
    // Loads the file-data index and checks the bytes it points to against the package's digest
    // record; raises the file step's errors for a damaged package.
    void CheckFileData();
    void UninstallOldVersion();
    void KillRunningPrograms();
    void InstallFiles();
    // KnownFolder: a folder made or found by an earlier file, not looked up again.
    void SaveFileWithRetry(const TFileJob& Job, WideString& KnownFolder);
    // The copy failure dialog (silent: the error and the end): true to try again, false to go
    // on without the file; the third choice ends the program.
    bool RetryAfterFailure(const WideString& Target, const TFileFailure& Failure);
    void LogFile(const TSetupFile& Item, const WideString& Target);
    void WriteRegistry();
    void CreateShortCuts();
    void WriteUninstallData();
    void RegisterUninstall();
    void RunWaitPrograms();
    void RunAfterPrograms();

    TInstallState State() const { return FState; }
    TSetupScript& Script() { return *FScript; }
    bool SilentMode() const { return FSilentMode; }
    bool AutoMode() const { return FAutoMode; }
    bool SequenceFailed() const { return FSequenceFailed; }

    LRESULT WndProc(UINT Message, WPARAM WParam, LPARAM LParam) override;

private:
    void CreateControls();
    void pbLogoPaint(HDC Dc, const RECT& Bounds);
    void imgCloseClick();
    // Closed by any means (the close image, the keyboard, the system) only when not installing,
    // or after an error ended the installation.
    bool CanClose() const;
    // Every message of the installer: a box captioned with the title, or standard error in
    // silent mode, where no window may wait for a user.
    void Inform(WideStringView Text);
    // Code in silent and auto mode; the window's ends all exit with 0.
    uint32_t Unattended(uint32_t Code) const {
        return FSilentMode || FAutoMode ? Code : uint32_t(ExitCodeSuccess);
    }
    // The first lines of the log: versions, command line, mode.
    void LogStart() const;
    // Pumps pending window messages, keeping the window alive during long steps.
    void Pump();
    // One more item done: the bar moves, the window repaints.
    void AdvanceProgress();
    // Frees a downloaded full installer's module and deletes its file.
    void ReleaseDownload();

    GdiPlus::TImagePtr FLogo;
    std::unique_ptr<TLxHttpProxy> FProxy;
    // The module whose resources hold the package: the running executable, or a downloaded
    // full installer owned by FDownload.
    HMODULE FModule = nullptr;
    TLibraryHandle FDeveloperModule;
    std::unique_ptr<TLxTemporaryFile> FDownload;
    TInstallState FState = istReady;
    bool FAutoMode = false;
    bool FFullPackage = false;
    bool FSilentMode = false;
    WideString FLicenseText;
    // The folder of the installation found at startup ("InstallLocation"); empty when none.
    WideString FPreviousDir;
    // "/Dir=" of the command line, which wins over the default and the previous folder.
    std::optional<WideString> FDirOption;
    std::unique_ptr<TSetupScript> FScript;
    // Set when an error ended the sequence: the window may then be closed.
    bool FSequenceFailed = false;
    // The file step's workers while it runs: stopped before the step ends the program.
    TFileWorkers* FFileWorkers = nullptr;
    // The window thread's: for every file with one worker, else for those tried again.
    TPackageDecoder FDecoder;
    // From the check before the machine changes to the file step: the index of the files, of
    // one kind or the other.
    std::unique_ptr<TFileDataList> FFileData;
    std::unique_ptr<TSolidIndex> FSolidData;
    // The window thread's, for a file of a solid package tried again; made at the first.
    std::unique_ptr<TSolidDecoder> FSolidDecoder;
};
