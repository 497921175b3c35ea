#pragma once

#include "BaseFrm.h"
#include "StdCtrls.h"

// The licence text in a resizable window; the user closes it with its close box.
class TLicenseForm : public TBaseForm {
public:
    explicit TLicenseForm(TForm* Owner);
    static void Execute(TForm* Owner, WideStringView Text);

    TMemo* memLicense;
};
