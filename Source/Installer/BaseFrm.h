#pragma once

#include "Forms.h"

// The base of every installer window: Tahoma 12, button-face colour, centred, double-buffered,
// repainted on Alt and Tab, and modal over its owner only.
class TBaseForm : public TForm {
public:
    TBaseForm(TForm* Owner, int ClientWidth, int ClientHeight, TBorderStyle Style = bsSizeable);

    int ShowModal() override;
    void CloseModal() override;
    void KeyDown(WORD Key, TShiftState Shift) override;

protected:
    // Call at the end of a window's constructor, once every control exists.
    void FinishDesign();
};
