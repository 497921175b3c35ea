#include "IndyProxySettingsFrm.h"

#include "LxStrUtils.h"
#include "LxVclUtils.h"

TIndyProxySettingsForm::TIndyProxySettingsForm(TForm* Owner) : TBaseDialogForm(Owner, 430, 304) {
    SetCaption(u"代理服务器设置");
    btnOk->ModalResult = mrNone;
    btnOk->OnClick = [this] { btnOkClick(); };
    // Positions inside the client panel's 8-pixel inner border.
    auto Place = [&](TControl* Control, int Left, int Top, int Width, int Height) {
        Control->SetBounds(ClientBorder + Left, ClientBorder + Top, Width, Height);
    };
    auto MakeRadio = [&](int Top, int Width, const char16_t* Text, int Order) {
        TRadioButton* Radio = pnlBkClient->Add<TRadioButton>();
        Place(Radio, 40, Top, Width, 16);
        Radio->SetCaption(Text);
        Radio->TabOrder = Order;
        Radio->OnClick = [this] { UpdateControls(); };
        return Radio;
    };
    rbNoProxy = MakeRadio(40, 114, u"不使用代理服务器", 0);
    rbUseProxy = MakeRadio(72, 162, u"使用以下指定的代理服务器", 1);
    auto MakeLabel = [&](int Left, int Top, int Width, const char16_t* Text) {
        TLabel* Label = pnlBkClient->Add<TLabel>();
        Place(Label, Left, Top, Width, 14);
        Label->Alignment = taRightJustify;
        Label->SetCaption(Text);
        return Label;
    };
    auto MakeEdit = [&](int Top, int Order) {
        TEdit* Edit = pnlBkClient->Add<TEdit>();
        Place(Edit, 136, Top, 201, 22);
        Edit->TabOrder = Order;
        return Edit;
    };
    lblProxyAddress = MakeLabel(64, 106, 72, u"服务器地址：");
    edtProxyAddress = MakeEdit(102, 3);
    lblProxyPort = MakeLabel(100, 135, 36, u"端口：");
    edtProxyPort = pnlBkClient->Add<TSpinEdit>();
    Place(edtProxyPort, 136, 131, 121, 22);
    edtProxyPort->Edit()->TabOrder = 5;
    edtProxyPort->TabOrder = 5;
    lblProxyUser = MakeLabel(88, 164, 48, u"用户名：");
    edtProxyUser = MakeEdit(160, 7);
    lblProxyPassword = MakeLabel(100, 194, 36, u"密码：");
    edtProxyPassword = MakeEdit(190, 9);
    btnOk->TabOrder = 10;
    btnCancel->TabOrder = 11;
    FinishDesign();
}

bool TIndyProxySettingsForm::Execute(TForm* Owner, TLxHttpProxy& Proxy) {
    TIndyProxySettingsForm Form(Owner);
    Form.LoadFromProxy(Proxy);
    const bool Accepted = Form.ShowModal() == mrOk;
    if (Accepted) Form.SaveToProxy(Proxy);
    return Accepted;
}

void TIndyProxySettingsForm::LoadFromProxy(const TLxHttpProxy& Proxy) {
    rbNoProxy->TCheckBox::SetChecked(!Proxy.Checked);
    rbUseProxy->TCheckBox::SetChecked(Proxy.Checked);
    edtProxyAddress->SetText(Proxy.Address);
    edtProxyPort->SetValue(Proxy.Port);
    edtProxyUser->SetText(Proxy.UserName);
    edtProxyPassword->SetText(Proxy.Password);
    UpdateControls();
}

void TIndyProxySettingsForm::SaveToProxy(TLxHttpProxy& Proxy) const {
    Proxy.Checked = rbUseProxy->Checked();
    Proxy.Address = Trim(edtProxyAddress->Text());
    Proxy.Port = edtProxyPort->Value();
    Proxy.UserName = edtProxyUser->Text();
    Proxy.Password = edtProxyPassword->Text();
}

void TIndyProxySettingsForm::UpdateControls() {
    const bool Use = rbUseProxy->Checked();
    for (TControl* Control : std::initializer_list<TControl*>{
             lblProxyAddress, edtProxyAddress, lblProxyPort, edtProxyPort, lblProxyUser,
             edtProxyUser, lblProxyPassword, edtProxyPassword})
        Control->SetEnabled(Use);
}

bool TIndyProxySettingsForm::Validate() {
    if (!rbUseProxy->Checked()) return true;
    if (Trim(edtProxyAddress->Text()).empty()) {
        TLxVclfn::ShowInfo(Handle(), u"服务器地址不能为空，请重新输入。");
        edtProxyAddress->SetFocus();
        return false;
    }
    return true;
}

void TIndyProxySettingsForm::btnOkClick() {
    if (Validate()) ModalResult = mrOk;
}
