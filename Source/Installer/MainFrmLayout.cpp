// The main window's controls, as designed: 750 x 480, no frame, a colour panel with a
// one-pixel border, a white strip at the bottom.

#include "Application.h"
#include "IndyProxySettingsFrm.h"
#include "LicenseFrm.h"
#include "MainFrm.h"

namespace {

constexpr TColor LinkBlue = 0xFF0000;

} // namespace

void TMainForm::CreateControls() {
    CreateFrame(pnlMainFormColor, imgBackground, lblAppTitle, lblVersion, imgMinimize, imgClose);
    pnlMainFormColor->Color = 0xF99900; // red 0, green 153, blue 249
    // The border takes one pixel: the designed positions count from inside it.
    auto Place = [](TControl* Control, int Left, int Top, int W, int H) {
        Control->SetBounds(1 + Left, 1 + Top, W, H);
    };
    const int InnerWidth = ClientWidth() - 2, InnerHeight = ClientHeight() - 2;

    imgIcon = pnlMainFormColor->Add<TImage>();
    Place(imgIcon, 320, 48, 96, 96);
    imgIcon->Proportional = true;

    pbLogo = pnlMainFormColor->Add<TPaintBox>();
    Place(pbLogo, 448, 48, 96, 96);

    btnInstall = pnlMainFormColor->Add<TButton>();
    Place(btnInstall, 264, 280, 200, 50);
    btnInstall->SetCaption(u"立即安装");
    SetFont(btnInstall, YaHei, 27, GetSysColor(COLOR_BTNTEXT));
    btnInstall->TabOrder = 0;

    pnlBottom = pnlMainFormColor->Add<TPanel>();
    Place(pnlBottom, 0, InnerHeight - FrameBottomHeight, InnerWidth, FrameBottomHeight);
    pnlBottom->Color = clWhite;
    pnlBottom->TabOrder = 1;

    lblDestDir = pnlBottom->Add<TLabel>();
    lblDestDir->SetBounds(12, 26, 95, 23);
    lblDestDir->SetCaption(u"安装目录：");
    SetFont(lblDestDir, u"Tahoma", 19, GetSysColor(COLOR_WINDOWTEXT));

    edtDestDir = pnlBottom->Add<TEdit>();
    edtDestDir->SetBounds(108, 25, 112, 25);
    SetFont(edtDestDir, u"Tahoma", 16, GetSysColor(COLOR_WINDOWTEXT));
    SendMessageW(edtDestDir->Handle(), WM_SETFONT,
                 reinterpret_cast<WPARAM>(edtDestDir->Font.Handle()), TRUE);
    edtDestDir->TabOrder = 0;

    btnDestDir = pnlBottom->Add<TButton>();
    btnDestDir->SetBounds(224, 23, 89, 29);
    btnDestDir->SetCaption(u"浏览...");
    SetFont(btnDestDir, YaHei, 16, GetSysColor(COLOR_BTNTEXT));
    btnDestDir->TabOrder = 1;

    cbLicense = pnlBottom->Add<TCheckBox>();
    cbLicense->SetBounds(108, 62, 42, 16);
    cbLicense->SetCaption(u"同意");
    cbLicense->SetChecked(true);
    cbLicense->TabOrder = 2;

    auto MakeLink = [&](int Left, int LinkWidth, const char16_t* Text) {
        TLabel* Link = pnlBottom->Add<TLabel>();
        Link->SetBounds(Left, 63, LinkWidth, 14);
        Link->SetCaption(Text);
        SetFont(Link, u"Tahoma", 12, LinkBlue);
        Link->Font.Underline = true;
        Link->Cursor = LoadCursorW(nullptr, IDC_HAND);
        return Link;
    };
    lblLicense = MakeLink(151, 72, u"用户许可协议");
    lblProxy = MakeLink(239, 84, u"代理服务器设置");
    lblProxy->Hide();

    lblWait = pnlBottom->Add<TLabel>();
    lblWait->SetBounds(364, 11, 149, 25);
    lblWait->SetCaption(u"请等待");
    SetFont(lblWait, u"Tahoma", 21, GetSysColor(COLOR_WINDOWTEXT));
    lblWait->Alignment = taCenter;
    lblWait->Hide();

    pbProgress = pnlBottom->Add<TProgressBar>();
    pbProgress->SetBounds(360, 42, 150, 17);
    pbProgress->Hide();

    lblDetail = pnlBottom->Add<TLabel>();
    lblDetail->SetBounds(361, 63, 36, 14);
    lblDetail->SetCaption(u"请等待");
    lblDetail->Hide();

    btnRunApp = pnlBottom->Add<TButton>();
    btnRunApp->SetBounds(536, 23, 200, 50);
    btnRunApp->SetCaption(u"立即体验");
    SetFont(btnRunApp, YaHei, 27, GetSysColor(COLOR_BTNTEXT));
    btnRunApp->Hide();

    // Pressing on the upper area, the texts, the logo or the white strip moves the window.
    const TMouseEvent Drag = [this](TMouseButton, int, int) { DragWindow(); };
    for (TControl* Surface :
         std::initializer_list<TControl*>{imgBackground, imgIcon, lblAppTitle, lblVersion, pbLogo,
                                          pnlBottom, lblDestDir, lblWait, lblDetail})
        Surface->OnMouseDown = Drag;
    imgMinimize->OnClick = [] { Application.Minimize(); };
    imgClose->OnClick = [this] { imgCloseClick(); };
    pbLogo->OnPaint = [this](HDC Dc, const RECT& Bounds) { pbLogoPaint(Dc, Bounds); };
    btnInstall->OnClick = [this] { btnInstallClick(); };
    btnDestDir->OnClick = [this] { btnDestDirClick(); };
    btnRunApp->OnClick = [this] { btnRunAppClick(); };
    cbLicense->OnClick = [this] { UpdateInstallButton(); };
    lblLicense->OnClick = [this] { TLicenseForm::Execute(this, FLicenseText); };
    lblProxy->OnClick = [this] { TIndyProxySettingsForm::Execute(this, *FProxy); };
    OnShow = [this] { btnInstall->SetFocus(); };
}
