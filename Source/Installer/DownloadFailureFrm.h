#pragma once

#include "BaseDialogFrm.h"

// Tells that the full installer could not be downloaded and offers its address.
class TDownloadFailureForm : public TBaseDialogForm {
public:
    explicit TDownloadFailureForm(TForm* Owner);
    // True when the user chose to end the installation ("退出安装").
    static bool Execute(TForm* Owner, WideStringView AppTitle, WideStringView Url);

    TLabel* TntLabel2;
    TLabel* TntLabel1;
    TLabel* TntLabel3;
    TMemo* memUrl;
    TPanel* TntPanel1;
    TButton* btnBrowser;
    TButton* btnCopy;

    void btnBrowserClick();
    void btnCopyClick();

private:
    WideString FUrl;
};
