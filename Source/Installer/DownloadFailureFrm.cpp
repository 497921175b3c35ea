#include "DownloadFailureFrm.h"

#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

TDownloadFailureForm::TDownloadFailureForm(TForm* Owner) : TBaseDialogForm(Owner, 534, 261) {
    SetCaption(u"在线安装失败");
    btnOk->SetCaption(u"退出安装");
    btnCancel->SetCaption(u"重试");
    // The client panel's inner border: the content starts 8 pixels in.
    const int Left = ClientBorder, Width = pnlBkClient->Width() - 2 * ClientBorder;
    const int Inner = pnlBkClient->Height() - 2 * ClientBorder;
    auto MakeLabel = [&](int Top, const char16_t* Text) {
        TLabel* Label = pnlBkClient->Add<TLabel>();
        Label->SetBounds(Left, ClientBorder + Top, Width, 30);
        Label->CenterVertically = true;
        Label->SetCaption(Text);
        return Label;
    };
    TntLabel2 = MakeLabel(0, u"您的电脑可能没有连接到互联网，在线安装失败。");
    TntLabel1 = MakeLabel(
        30, u"如果您是通过代理服务器上网的，您可以点击【重试】按钮返回到首页设置代理服务器。");
    TntLabel3 = MakeLabel(60, u"您还可以使用以下地址下载离线安装包，然后运行离线安装包进行安装。");
    constexpr int BottomHeight = 33;
    memUrl = pnlBkClient->Add<TMemo>();
    memUrl->SetBounds(Left, ClientBorder + 90, Width, Inner - 90 - BottomHeight);
    TntPanel1 = pnlBkClient->Add<TPanel>();
    TntPanel1->SetBounds(Left, ClientBorder + Inner - BottomHeight, Width, BottomHeight);
    btnBrowser = TntPanel1->Add<TButton>();
    btnBrowser->SetBounds(0, 4, 137, 25);
    btnBrowser->SetCaption(u"使用浏览器下载");
    btnBrowser->OnClick = [this] { btnBrowserClick(); };
    btnCopy = TntPanel1->Add<TButton>();
    btnCopy->SetBounds(144, 4, 121, 25);
    btnCopy->SetCaption(u"复制到剪贴板");
    btnCopy->OnClick = [this] { btnCopyClick(); };
    // The dialog's own buttons come after the content in the tab order.
    btnOk->TabOrder = 10;
    btnCancel->TabOrder = 11;
    FinishDesign();
}

bool TDownloadFailureForm::Execute(TForm* Owner, WideStringView AppTitle, WideStringView Url) {
    TDownloadFailureForm Form(Owner);
    Form.SetCaption(FormatText(u"%s 在线安装失败", AppTitle));
    Form.FUrl = WideString(Url);
    Form.memUrl->SetText(Url);
    return Form.ShowModal() == mrOk;
}

void TDownloadFailureForm::btnBrowserClick() {
    TLxWinfn::OpenUrl(FUrl);
}

namespace {

bool PutOnClipboard(UINT Format, const void* Data, size_t Size) {
    TGlobalMemory Memory(GlobalAlloc(GMEM_MOVEABLE, Size));
    if (!Memory) return false;
    void* Locked = GlobalLock(Memory.Get());
    if (!Locked) return false;
    CopyMemory(Locked, Data, Size);
    GlobalUnlock(Memory.Get());
    // The clipboard owns it once it accepts it.
    if (!SetClipboardData(Format, Memory.Get())) return false;
    Memory.Release();
    return true;
}

} // namespace

void TDownloadFailureForm::btnCopyClick() {
    if (!OpenClipboard(Handle())) return;
    EmptyClipboard();
    // Both forms, so that ANSI and Unicode programs can paste the address.
    const int AnsiLength =
        WideCharToMultiByte(CP_ACP, 0, W(FUrl), -1, nullptr, 0, nullptr, nullptr);
    std::string Ansi(size_t(AnsiLength > 0 ? AnsiLength : 1), '\0');
    if (AnsiLength > 0)
        WideCharToMultiByte(CP_ACP, 0, W(FUrl), -1, Ansi.data(), AnsiLength, nullptr, nullptr);
    PutOnClipboard(CF_TEXT, Ansi.data(), Ansi.size());
    PutOnClipboard(CF_UNICODETEXT, FUrl.c_str(), (FUrl.size() + 1) * sizeof(char16_t));
    CloseClipboard();
}
