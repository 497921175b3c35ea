// How the main window looks and reacts: icon, logo, licence, consent, dragging, the close
// and minimise images, the three looks and the download progress.

#include "Application.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "MainFrm.h"

void TMainForm::LoadAppIcon() {
    TMemoryStream Stream;
    LoadResourceStream(FScript->BaseInfo().IconResID, Stream);
    FLogo = GdiPlus::LoadImage(Stream.Memory(), size_t(Stream.GetSize()));
    pbLogo->Invalidate();
    auto Picture = std::make_shared<TPngImage>();
    Picture->LoadFromBytes(Stream.Memory(), size_t(Stream.GetSize()));
    imgIcon->Picture = Picture;
}

namespace {

// The text of a licence by its byte-order mark; without one, the system's ANSI code page.
WideString DecodeLicense(const uint8_t* Data, size_t Size) {
    if (Size >= 2 && Data[0] == 0xFF && Data[1] == 0xFE)
        return WideString(reinterpret_cast<const char16_t*>(Data + 2), (Size - 2) / 2);
    if (Size >= 2 && Data[0] == 0xFE && Data[1] == 0xFF) {
        WideString Text;
        for (size_t I = 2; I + 1 < Size; I += 2)
            Text += char16_t(Data[I] << 8 | Data[I + 1]);
        return Text;
    }
    if (Size >= 3 && Data[0] == 0xEF && Data[1] == 0xBB && Data[2] == 0xBF)
        return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(Data + 3), Size - 3));
    const int Length =
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(Data), int(Size), nullptr, 0);
    std::wstring Text(size_t(Length > 0 ? Length : 0), L'\0');
    if (Length > 0)
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(Data), int(Size), Text.data(),
                            Length);
    return WideString(reinterpret_cast<const char16_t*>(Text.data()), Text.size());
}

// Every line ends in CR LF, the last one included, whatever the file used.
WideString JoinLines(WideStringView Text) {
    WideString Result;
    size_t Start = 0;
    while (Start < Text.size()) {
        size_t End = Text.find_first_of(u"\r\n", Start);
        if (End == WideStringView::npos) End = Text.size();
        Result.append(Text.substr(Start, End - Start));
        Result += u"\r\n";
        if (End < Text.size() && Text[End] == u'\r' && End + 1 < Text.size() &&
            Text[End + 1] == u'\n')
            ++End;
        Start = End + 1;
    }
    return Result;
}

} // namespace

void TMainForm::LoadLicenseText() {
    const WideString& Name = FScript->BaseInfo().LicenseResID;
    if (Name.empty()) {
        cbLicense->Hide();
        lblLicense->Hide();
        return;
    }
    TMemoryStream Stream;
    LoadResourceStream(Name, Stream);
    FLicenseText = JoinLines(DecodeLicense(Stream.Memory(), size_t(Stream.GetSize())));
}

void TMainForm::UpdateInstallButton() {
    btnInstall->SetEnabled(cbLicense->Checked());
}

void TMainForm::DragWindow() {
    ReleaseCapture();
    SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, 0);
}

void TMainForm::pbLogoPaint(HDC Dc, const RECT& Bounds) {
    if (!FLogo) return;
    unsigned W = 0, H = 0;
    GdiPlus::ImageSize(FLogo.get(), W, H);
    if (W == 0 || H == 0) return;
    const float BoxWidth = float(Bounds.right - Bounds.left),
                BoxHeight = float(Bounds.bottom - Bounds.top);
    float Dw, Dh;
    if (W > H) {
        Dw = BoxWidth;
        Dh = float(H) * Dw / float(W);
    } else {
        Dh = BoxHeight;
        Dw = float(W) * Dh / float(H);
    }
    const float X = (BoxWidth - Dw) / 2.0f, Y = (BoxHeight - Dh) / 2.0f;
    GdiPlus::DrawImage(Dc, FLogo.get(), float(Bounds.left) + X, float(Bounds.top) + Y, Dw, Dh);
}

bool TMainForm::CanClose() const {
    return FState != istInstalling || FSequenceFailed;
}

void TMainForm::imgCloseClick() {
    if (!CanClose()) return;
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TMainForm::ShowHomePage() {
    FState = istReady;
    lblAppTitle->SetCaption(FScript->BaseInfo().AppTitle);
    for (TControl* Control : std::initializer_list<TControl*>{lblVersion, btnInstall, lblDestDir,
                                                              edtDestDir, btnDestDir})
        Control->Show();
    const bool License = !FScript->BaseInfo().LicenseResID.empty();
    cbLicense->SetVisible(License);
    lblLicense->SetVisible(License);
    lblProxy->SetVisible(!FFullPackage);
    for (TControl* Control :
         std::initializer_list<TControl*>{pbProgress, lblWait, lblDetail, btnRunApp})
        Control->Hide();
}

void TMainForm::ShowInstallingLook() {
    lblAppTitle->SetCaption(u"正在安装");
    for (TControl* Control :
         std::initializer_list<TControl*>{lblVersion, btnInstall, lblDestDir, edtDestDir,
                                          btnDestDir, cbLicense, lblLicense, lblProxy})
        Control->Hide();
    pbProgress->SetBounds(16, pbProgress->Top(), pnlBottom->Width() - 32, pbProgress->Height());
    pbProgress->Show();
    lblWait->SetBounds(pbProgress->Left(), lblWait->Top(), pbProgress->Width(), lblWait->Height());
    lblWait->Show();
    lblDetail->SetBounds(pbProgress->Left(), lblDetail->Top(), pbProgress->Width(),
                         lblDetail->Height());
    lblDetail->SetCaption(u"");
    lblDetail->Show();
}

void TMainForm::ShowFinishPage() {
    lblAppTitle->SetCaption(u"安装完成");
    pbProgress->Hide();
    lblWait->Hide();
    lblDetail->Hide();
    btnRunApp->SetCaption(FScript->RunList().NoWaitCount() > 0 ? u"立即体验" : u"退出");
    btnRunApp->SetLeft((pnlBottom->Width() - btnRunApp->Width()) / 2);
    btnRunApp->Show();
    btnRunApp->SetFocus();
}

void TMainForm::DownloadWorkBegin(TLxHttp&, TWorkMode, int64_t Expected) {
    pbProgress->SetMax(int(uint32_t(Expected)));
    pbProgress->SetPosition(0);
    Pump();
}

void TMainForm::DownloadWork(TLxHttp&, TWorkMode, int64_t Count) {
    pbProgress->SetPosition(int(uint32_t(Count)));
    Pump();
}

void TMainForm::DownloadWorkEnd(TLxHttp&, TWorkMode) {}
