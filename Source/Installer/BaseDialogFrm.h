#pragma once

#include "BaseFrm.h"
#include "StdCtrls.h"

// A dialog with a button row at the bottom (OK, Cancel, Apply) and a client panel above it.
class TBaseDialogForm : public TBaseForm {
public:
    TBaseDialogForm(TForm* Owner, int ClientWidth = 475, int ClientHeight = 340);

    TPanel* pnlButtons;
    TBevel* bvlButtons;
    TButton* btnOk;
    TButton* btnCancel;
    TButton* btnApply;
    TPanel* pnlBkClient;

    // Lays the buttons of the set out from the right edge, 8 pixels apart.
    void ArrangeButtons();

protected:
    uint8_t FButtons = 1; // 0 OK, 1 OK and Cancel, 2 OK, Cancel and Apply
    // The inner border of the client panel.
    static constexpr int ClientBorder = 8;
};
