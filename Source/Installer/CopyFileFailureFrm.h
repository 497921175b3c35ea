#pragma once

#include "BaseFrm.h"
#include "StdCtrls.h"

// Asks what to do with a file that could not be written: retry, ignore or abort.
class TCopyFileFailureForm : public TBaseForm {
public:
    explicit TCopyFileFailureForm(TForm* Owner);
    // mrRetry, mrIgnore (also Esc), mrAbort, or mrCancel for the close box.
    static int Execute(TForm* Owner, WideStringView FileName, WideStringView Reason);
    void UpdateInfo();

    TPanel* TntPanel1;
    TLabel* lblInfo;
    TPanel* pnlButtons;
    TBevel* bvlButtons;
    TButton* btnRetry;
    TButton* btnIgnore;
    TButton* btnAbort;

private:
    WideString FFileName;
    WideString FReason;
};
