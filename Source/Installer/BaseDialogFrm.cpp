#include "BaseDialogFrm.h"

TBaseDialogForm::TBaseDialogForm(TForm* Owner, int ClientWidth, int ClientHeight)
    : TBaseForm(Owner, ClientWidth, ClientHeight, bsDialog) {
    constexpr int RowHeight = 41;
    pnlBkClient = Add<TPanel>();
    pnlBkClient->SetBounds(0, 0, ClientWidth, ClientHeight - RowHeight);
    pnlButtons = Add<TPanel>();
    pnlButtons->SetBounds(0, ClientHeight - RowHeight, ClientWidth, RowHeight);
    bvlButtons = pnlButtons->Add<TBevel>();
    bvlButtons->SetBounds(0, 0, ClientWidth, 2);
    btnOk = pnlButtons->Add<TButton>();
    btnOk->SetCaption(u"确定");
    btnOk->ModalResult = mrOk;
    btnOk->SetDefault(true);
    btnOk->TabOrder = 0;
    btnCancel = pnlButtons->Add<TButton>();
    btnCancel->SetCaption(u"取消");
    btnCancel->ModalResult = mrCancel;
    btnCancel->SetCancel(true);
    btnCancel->TabOrder = 1;
    btnApply = pnlButtons->Add<TButton>();
    btnApply->SetCaption(u"应用");
    btnApply->TabOrder = 2;
    btnOk->SetBounds(232, 8, 75, 25);
    btnCancel->SetBounds(312, 8, 75, 25);
    btnApply->SetBounds(392, 8, 75, 25);
    FButtons = 1;
    ArrangeButtons();
}

void TBaseDialogForm::ArrangeButtons() {
    int Right = ClientWidth() - 8;
    auto Place = [&](TButton* Button) {
        Button->SetLeft(Right - Button->Width());
        Button->Show();
        Right = Button->Left() - 8;
    };
    btnApply->SetVisible(FButtons == 2);
    btnCancel->SetVisible(FButtons >= 1);
    if (FButtons == 2) Place(btnApply);
    if (FButtons >= 1) Place(btnCancel);
    Place(btnOk);
}
