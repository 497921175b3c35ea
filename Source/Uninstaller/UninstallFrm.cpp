// The window: 750 x 480 without a frame, as the installer's, in the product's colour.

#include "UninstallFrm.h"

#include "Application.h"
#include "LxProcessExit.h"
#include "LxStrUtils.h"
#include "Uninstaller.h"

WideString RemovalReport(const TUninstaller& Uninstaller) {
    WideString Report;
    for (const WideString& File : Uninstaller.Remaining())
        Report += FormatText(u"无法删除文件：%s\r\n", File);
    if (Uninstaller.FoldersProtected())
        Report += FormatText(u"%s 是系统文件夹，只删除了本软件的文件，文件夹已保留。\r\n",
                             Uninstaller.AppDir());
    else if (Uninstaller.AppDirKept())
        Report +=
            FormatText(u"安装目录中还有不属于本软件的文件，已保留：%s\r\n", Uninstaller.AppDir());
    return Report;
}

TUninstallForm::TUninstallForm(TUninstaller& Uninstaller)
    : TBaseForm(nullptr, 750, 480, bsNone), FUninstaller(Uninstaller), FExitCode(ExitCodeStopped) {
    Application.MainForm = this;
    CreateControls();
    FinishDesign();
    const TSetupBaseInfo& Info = FUninstaller.Script().BaseInfo();
    SetCaption(FormatText(u"%s 卸载程序", Info.AppTitle));
    Application.Title = Caption();
    pnlMainFormColor->Color = TColor(Info.MainFormColor);
    lblAppTitle->SetCaption(Info.AppTitle);
    lblVersion->SetCaption(FormatText(u"版本：%s", Info.Version));
    lblQuestion->SetCaption(FormatText(u"确定要从本机移除 %s 及其全部组件吗？", Info.AppTitle));
    const std::vector<uint8_t>& Icon = FUninstaller.IconPng();
    imgIcon->Picture = LoadPicture(Icon.data(), Icon.size());
    OnCloseQuery = [this] {
        if (FState == ustRemoving) return false;
        if (FState == ustAsking) FExitCode = ExitCodeStopped;
        return true;
    };
}

void TUninstallForm::CreateControls() {
    CreateFrame(pnlMainFormColor, imgBackground, lblAppTitle, lblVersion, imgMinimize, imgClose);
    auto Place = [](TControl* Control, int Left, int Top, int W, int H) {
        Control->SetBounds(1 + Left, 1 + Top, W, H);
    };
    const int InnerWidth = ClientWidth() - 2, InnerHeight = ClientHeight() - 2;

    imgIcon = pnlMainFormColor->Add<TImage>();
    Place(imgIcon, (InnerWidth - 96) / 2, 56, 96, 96);
    imgIcon->Proportional = true;
    imgIcon->Stretch = true;

    pnlBottom = pnlMainFormColor->Add<TPanel>();
    Place(pnlBottom, 0, InnerHeight - FrameBottomHeight, InnerWidth, FrameBottomHeight);
    pnlBottom->Color = clWhite;

    lblQuestion = pnlBottom->Add<TLabel>();
    lblQuestion->SetBounds(24, 20, 440, 60);
    SetFont(lblQuestion, YaHei, 19, GetSysColor(COLOR_WINDOWTEXT));
    lblQuestion->WordWrap = true;
    lblQuestion->CenterVertically = true;

    btnRemove = pnlBottom->Add<TButton>();
    btnRemove->SetBounds(480, 28, 120, 44);
    btnRemove->SetCaption(u"卸载");
    SetFont(btnRemove, YaHei, 21, GetSysColor(COLOR_BTNTEXT));
    btnRemove->TabOrder = 0;
    btnCancel = pnlBottom->Add<TButton>();
    btnCancel->SetBounds(612, 28, 120, 44);
    btnCancel->SetCaption(u"取消");
    SetFont(btnCancel, YaHei, 21, GetSysColor(COLOR_BTNTEXT));
    btnCancel->TabOrder = 1;

    lblWait = pnlBottom->Add<TLabel>();
    lblWait->SetBounds(16, 11, InnerWidth - 32, 25);
    lblWait->SetCaption(u"正在关闭本软件的程序");
    SetFont(lblWait, u"Tahoma", 21, GetSysColor(COLOR_WINDOWTEXT));
    lblWait->Alignment = taCenter;
    pbProgress = pnlBottom->Add<TProgressBar>();
    pbProgress->SetBounds(16, 42, InnerWidth - 32, 17);
    lblDetail = pnlBottom->Add<TLabel>();
    lblDetail->SetBounds(16, 63, InnerWidth - 32, 14);

    lblResult = pnlBottom->Add<TLabel>();
    lblResult->SetBounds(24, 8, 500, 84);
    SetFont(lblResult, YaHei, 19, GetSysColor(COLOR_WINDOWTEXT));
    lblResult->WordWrap = true;
    lblResult->CenterVertically = true;
    btnFinish = pnlBottom->Add<TButton>();
    btnFinish->SetBounds(548, 25, 184, 50);
    btnFinish->SetCaption(u"完成");
    SetFont(btnFinish, YaHei, 27, GetSysColor(COLOR_BTNTEXT));

    for (TControl* Control :
         std::initializer_list<TControl*>{lblWait, pbProgress, lblDetail, lblResult, btnFinish})
        Control->Hide();

    const TMouseEvent Drag = [this](TMouseButton, int, int) { DragWindow(); };
    for (TControl* Surface :
         std::initializer_list<TControl*>{imgBackground, imgIcon, lblAppTitle, lblVersion,
                                          pnlBottom, lblQuestion, lblWait, lblDetail, lblResult})
        Surface->OnMouseDown = Drag;
    imgMinimize->OnClick = [] { Application.Minimize(); };
    imgClose->OnClick = [this] { PostMessageW(Handle(), WM_CLOSE, 0, 0); };
    btnRemove->OnClick = [this] { btnRemoveClick(); };
    btnCancel->OnClick = [this] { Decline(); };
    btnFinish->OnClick = [this] { Close(); };
    OnShow = [this] { btnCancel->SetFocus(); };
}

void TUninstallForm::DragWindow() {
    ReleaseCapture();
    SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, 0);
}

void TUninstallForm::Decline() {
    FExitCode = ExitCodeStopped;
    Close();
}

void TUninstallForm::btnRemoveClick() {
    FState = ustRemoving;
    lblAppTitle->SetCaption(u"正在卸载");
    for (TControl* Control : std::initializer_list<TControl*>{lblQuestion, btnRemove, btnCancel})
        Control->Hide();
    for (TControl* Control : std::initializer_list<TControl*>{lblWait, pbProgress, lblDetail})
        Control->Show();
    pbProgress->SetMax(FUninstaller.StepCount());
    Application.SetBusyCursor(true);
    // Seen before the running programs are looked for.
    Application.ProcessMessages();
    try {
        FUninstaller.Remove([this](WideStringView Detail) {
            if (pbProgress->Position() == 0) lblWait->SetCaption(u"正在删除");
            pbProgress->SetPosition(pbProgress->Position() + 1);
            lblDetail->SetCaption(Detail);
            Application.ProcessMessages();
        });
    } catch (...) {
        Application.SetBusyCursor(false);
        FState = ustFinished;
        FExitCode = ExitCodeError;
        throw;
    }
    Application.SetBusyCursor(false);
    ShowFinishPage();
}

void TUninstallForm::ShowFinishPage() {
    FState = ustFinished;
    FExitCode = FUninstaller.Remaining().empty() ? ExitCodeSuccess : ExitCodeError;
    lblAppTitle->SetCaption(u"卸载完成");
    for (TControl* Control : std::initializer_list<TControl*>{lblWait, pbProgress, lblDetail})
        Control->Hide();
    const WideString Report = RemovalReport(FUninstaller);
    lblResult->SetCaption(
        Report.empty() ? FormatText(u"%s 已从本机移除。", FUninstaller.Script().BaseInfo().AppTitle)
                       : Trim(Report));
    lblResult->Show();
    btnFinish->Show();
    btnFinish->SetFocus();
}
