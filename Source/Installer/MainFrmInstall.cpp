// The install sequence: the folder check, the installing look, the steps in their order, the
// finish page, the visit of the script's address and the end of the process.

#include "Application.h"
#include "ChannelCode.h"
#include "LxFileStream.h"
#include "LxLog.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxVclUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

namespace {

// A developer's run pretends to be a channel build.
const char16_t DeveloperFileTitle[] = u"setup_0";

WideString AddChannelCode(WideStringView Url) {
    const WideString Title = TLxSysfn::IsDeveloperMode() ? WideString(DeveloperFileTitle)
                                                         : ExtractFileTitle(ParamStr(0));
    return AddChannelCodeFor(Url, Title);
}

} // namespace

void TMainForm::Pump() {
    Application.ProcessMessages();
}

void TMainForm::AdvanceProgress() {
    pbProgress->SetPosition(pbProgress->Position() + 1);
    Pump();
}

void TMainForm::Inform(WideStringView Text) {
    LxLog::Write(u"Message: %s", Text);
    if (FSilentMode) {
        WriteStandardError(Text);
        return;
    }
    TLxVclfn::ShowInfo(Handle(), Text);
}

void TMainForm::btnInstallClick() {
    if (!CheckDestDir()) {
        // An unattended run has nobody to type another folder.
        if (FSilentMode || FAutoMode) ExitProgram(ExitCodeFolderRefused);
        return;
    }
    LxLog::Write(u"Folder: %s", SetupAppDir);
    FState = istInstalling;
    ShowInstallingLook();
    try {
        if (!FFullPackage && !DownloadFullSetup()) return;
        const TSetupScript& Script = *FScript;
        pbProgress->SetMax(Script.FileList().Count() + Script.RegList().Count() +
                           Script.ShortCutList().Count());
        pbProgress->SetPosition(0);
        lblWait->SetCaption(u"正在检查旧版本");
        Pump();
        CheckFileData();
        UninstallOldVersion();
        KillRunningPrograms();
        lblWait->SetCaption(u"正在安装");
        Pump();
        InstallFiles();
        WriteRegistry();
        CreateShortCuts();
        WriteUninstallData();
        RegisterUninstall();
        RunWaitPrograms();
    } catch (...) {
        // The error report follows; the window keeps its installing look but may be closed.
        FSequenceFailed = true;
        throw;
    }
    FState = istFinished;
    LxLog::Write(u"Installed");
    ShowFinishPage();
    VisitGotoUrl();
    if (FSilentMode || FAutoMode) btnRunAppClick();
}

bool TMainForm::CheckDestDir() {
    SetupAppDir = Trim(edtDestDir->Text());
    if (SetupAppDir.empty()) {
        Inform(u"安装目录不能为空，请重新输入。");
        edtDestDir->SetFocus();
        return false;
    }
    SetupAppDir = IncludeTrailingBackslash(SetupAppDir);
    const WideString& Folder = SetupAppDir;
    if (!DirectoryExists(Folder)) {
        try {
            ForceDirectories(Folder);
        } catch (const Exception&) {
        }
    }
    if (!DirectoryExists(Folder)) {
        Inform(FormatText(u"创建安装目录失败：%s，请重新输入。", Folder));
        return false;
    }
    const WideString TestFile = Folder + TLxStrfn::NewGUIDString();
    bool Writable = true;
    try {
        TMemoryStream Empty;
        TFileStream File(TestFile, fmCreate);
        File.CopyFrom(Empty, 0);
    } catch (const Exception&) {
        Writable = false;
    }
    DeleteFile(TestFile);
    if (!Writable) {
        Inform(FormatText(u"尝试在安装目录写入文件失败：%s，请重新输入。", Folder));
        return false;
    }
    return true;
}

void TMainForm::btnDestDirClick() {
    WideString Folder = Trim(edtDestDir->Text());
    if (TLxVclfn::SelectFolder(Handle(), u"选择安装目录", Folder)) edtDestDir->SetText(Folder);
}

void TMainForm::btnRunAppClick() {
    PostMessageW(Handle(), WM_INSTALL_FINISH, 0, 0);
}

void TMainForm::WMInstallFinish() {
    HideWindow();
    Pump();
    RunAfterPrograms();
    ExitProgram(ExitCodeSuccess);
}

void TMainForm::VisitGotoUrl() {
    const TSetupBaseInfo& Info = FScript->BaseInfo();
    if (Info.GotoUrl.empty()) return;
    const WideString Url = AddChannelCode(Info.GotoUrl);
    switch (Info.GotoUrlMode) {
    case gumSilent: {
        lblDetail->SetCaption(u"正在验证安装......");
        Pump();
        TLxHttp Http;
        Http.SetConnectTimeout(5000);
        Http.Get(Url);
        break;
    }
    case gumByBrowser:
        TLxWinfn::OpenUrl(Url);
        break;
    default:
        break;
    }
}
