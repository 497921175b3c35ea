#include "BaseFrm.h"

#include "Application.h"
#include "LxVclUtils.h"

TBaseForm::TBaseForm(TForm* Owner, int ClientWidth, int ClientHeight, TBorderStyle Style)
    : TForm(Owner) {
    BorderStyle = Style;
    Font.Name = u"Tahoma";
    Font.Height = 12;
    Font.Color = GetSysColor(COLOR_WINDOWTEXT);
    Color = GetSysColor(COLOR_BTNFACE);
    CreateWindowHandle();
    SetClientSize(ClientWidth, ClientHeight);
}

void TBaseForm::FinishDesign() {
    TLxVclfn::SetDoubleBuffered(this);
}

int TBaseForm::ShowModal() {
    if (Owner()) return TLxVclfn::ShowModal(this, Owner());
    return TForm::ShowModal();
}

void TBaseForm::CloseModal() {
    try {
        TCloseAction Action = CloseQuery() ? caHide : caNone;
        if (Action == caHide && OnClose) OnClose(Action);
        if (Action == caNone) ModalResult = mrNone;
    } catch (const std::exception& Error) {
        ModalResult = mrNone;
        Application.HandleException(Error);
    }
}

void TBaseForm::KeyDown(WORD Key, TShiftState Shift) {
    TForm::KeyDown(Key, Shift);
    TLxVclfn::FormKeyDown(this, Shift, Key);
}
