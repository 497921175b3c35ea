#include "CopyFileFailureFrm.h"

#include "LxStrUtils.h"

TCopyFileFailureForm::TCopyFileFailureForm(TForm* Owner) : TBaseForm(Owner, 572, 268) {
    SetCaption(u"复制文件失败");
    constexpr int RowHeight = 41;
    TntPanel1 = Add<TPanel>();
    TntPanel1->SetBounds(0, 0, ClientWidth(), ClientHeight() - RowHeight);
    lblInfo = TntPanel1->Add<TLabel>();
    lblInfo->WordWrap = true;
    lblInfo->SetBounds(32, 32, TntPanel1->Width() - 64, TntPanel1->Height() - 64);
    pnlButtons = Add<TPanel>();
    pnlButtons->SetBounds(0, ClientHeight() - RowHeight, ClientWidth(), RowHeight);
    bvlButtons = pnlButtons->Add<TBevel>();
    bvlButtons->SetBounds(0, 0, ClientWidth(), 2);
    auto MakeButton = [&](int Left, const char16_t* Text, int Result, int Order) {
        TButton* Button = pnlButtons->Add<TButton>();
        Button->SetBounds(Left, 8, 100, 25);
        Button->SetCaption(Text);
        Button->ModalResult = Result;
        Button->TabOrder = Order;
        return Button;
    };
    btnRetry = MakeButton(9, u"重试", mrRetry, 0);
    btnIgnore = MakeButton(121, u"忽略", mrIgnore, 2);
    btnAbort = MakeButton(233, u"退出安装", mrAbort, 1);
    btnRetry->SetDefault(true);
    btnIgnore->SetCancel(true);
    OnResize = [this] {
        TntPanel1->SetBounds(0, 0, ClientWidth(), ClientHeight() - 41);
        lblInfo->SetBounds(32, 32, TntPanel1->Width() - 64, TntPanel1->Height() - 64);
        pnlButtons->SetBounds(0, ClientHeight() - 41, ClientWidth(), 41);
        bvlButtons->SetWidth(ClientWidth());
    };
    FinishDesign();
}

void TCopyFileFailureForm::UpdateInfo() {
    lblInfo->SetCaption(FormatText(u"文件：%s\r\n\r\n失败原因：%s", FFileName, FReason));
}

int TCopyFileFailureForm::Execute(TForm* Owner, WideStringView FileName, WideStringView Reason) {
    TCopyFileFailureForm Form(Owner);
    Form.FFileName = WideString(FileName);
    Form.FReason = WideString(Reason);
    Form.UpdateInfo();
    return Form.ShowModal();
}
