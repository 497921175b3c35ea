#pragma once

#include "BaseFrm.h"
#include "StdCtrls.h"

class TUninstaller;

enum TUninstallState : uint8_t { ustAsking, ustRemoving, ustFinished };

// The uninstaller's one window, in the product's colours: the question, the progress, the end.
class TUninstallForm : public TBaseForm {
public:
    explicit TUninstallForm(TUninstaller& Uninstaller);

    TPanel* pnlMainFormColor;
    TImage* imgBackground;
    TImage* imgIcon;
    TLabel* lblAppTitle;
    TLabel* lblVersion;
    TTitleGlyph* imgMinimize;
    TTitleGlyph* imgClose;
    TPanel* pnlBottom;
    TLabel* lblQuestion;
    TButton* btnRemove;
    TButton* btnCancel;
    TLabel* lblWait;
    TProgressBar* pbProgress;
    TLabel* lblDetail;
    TLabel* lblResult;
    TButton* btnFinish;

    // What the process ends with: removed, an error, or declined.
    uint32_t ExitCode() const { return FExitCode; }

private:
    void CreateControls();
    void btnRemoveClick();
    void ShowFinishPage();
    void Decline();
    void DragWindow();

    TUninstaller& FUninstaller;
    TUninstallState FState = ustAsking;
    uint32_t FExitCode;
};

// The finish page's and standard error's account of what stayed; empty when nothing did.
WideString RemovalReport(const TUninstaller& Uninstaller);
