#include "LicenseFrm.h"

TLicenseForm::TLicenseForm(TForm* Owner) : TBaseForm(Owner, 784, 461) {
    MinimizeBox = false;
    SetWindowLongW(Handle(), GWL_STYLE, GetWindowLongW(Handle(), GWL_STYLE) & ~WS_MINIMIZEBOX);
    SetCaption(u"用户许可协议");
    memLicense = Add<TMemo>();
    memLicense->SetBounds(0, 0, ClientWidth(), ClientHeight());
    OnResize = [this] { memLicense->SetBounds(0, 0, ClientWidth(), ClientHeight()); };
    FinishDesign();
}

void TLicenseForm::Execute(TForm* Owner, WideStringView Text) {
    TLicenseForm Form(Owner);
    Form.memLicense->SetText(Text);
    Form.ShowModal();
}
