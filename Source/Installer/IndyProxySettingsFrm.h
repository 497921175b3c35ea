#pragma once

#include "BaseDialogFrm.h"
#include "LxIndyUtils.h"

// Edits the proxy settings the download uses.
class TIndyProxySettingsForm : public TBaseDialogForm {
public:
    explicit TIndyProxySettingsForm(TForm* Owner);
    // True when the settings were accepted with OK; only then are they changed.
    static bool Execute(TForm* Owner, TLxHttpProxy& Proxy);

    TRadioButton* rbNoProxy;
    TRadioButton* rbUseProxy;
    TLabel* lblProxyAddress;
    TEdit* edtProxyAddress;
    TLabel* lblProxyPort;
    TSpinEdit* edtProxyPort;
    TLabel* lblProxyUser;
    TEdit* edtProxyUser;
    TLabel* lblProxyPassword;
    TEdit* edtProxyPassword;

    void LoadFromProxy(const TLxHttpProxy& Proxy);
    void SaveToProxy(TLxHttpProxy& Proxy) const;
    void UpdateControls();
    bool Validate();
    void btnOkClick();
};
