#pragma once

#include "Controls.h"
#include "PngImage.h"

#include <memory>

class TPanel : public TWinControl {
public:
    explicit TPanel(TWinControl* Parent);
};

enum TAlignment { taLeftJustify, taCenter, taRightJustify };

class TLabel : public TControl {
public:
    explicit TLabel(TWinControl* Parent) : TControl(Parent) {}
    TAlignment Alignment = taLeftJustify;
    bool CenterVertically = false;
    bool WordWrap = false;
    void Paint(HDC Dc) override;
};

class TImage : public TControl {
public:
    explicit TImage(TWinControl* Parent) : TControl(Parent) {}
    std::shared_ptr<TPngImage> Picture;
    bool Center = true;
    bool Proportional = false;
    // With Proportional: a small picture grows to fill the box too.
    bool Stretch = false;
    void Paint(HDC Dc) override;
};

class TPaintBox : public TControl {
public:
    explicit TPaintBox(TWinControl* Parent) : TControl(Parent) {}
    // Dc is the parent's; Bounds is the box's rectangle in it.
    std::function<void(HDC Dc, const RECT& Bounds)> OnPaint;
    void Paint(HDC Dc) override;
};

// A line at the top of its bounds, as a separator.
class TBevel : public TControl {
public:
    explicit TBevel(TWinControl* Parent) : TControl(Parent) {}
    void Paint(HDC Dc) override;
};

class TProgressBar : public TControl {
public:
    explicit TProgressBar(TWinControl* Parent);
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    void SetMax(int Value);
    void SetPosition(int Value);
    int Percent() const;
    void Paint(HDC Dc) override;

private:
    int FMax = 100;
    int FPosition = 0;
};

// The flat push button: a modal result for the form, Enter and Esc through the form.
class TButton : public TWinControl {
public:
    explicit TButton(TWinControl* Parent);
    int ModalResult = mrNone;
    void SetDefault(bool Value);
    void SetCancel(bool Value);
    void Click() override;
    LRESULT WndProc(UINT Message, WPARAM WParam, LPARAM LParam) override;

protected:
    void PaintWindow(HDC Dc) override;
    bool FHot = false;
    bool FDown = false;
};

class TCheckBox : public TButton {
public:
    explicit TCheckBox(TWinControl* Parent) : TButton(Parent) {}
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value);
    void Click() override;

protected:
    void PaintWindow(HDC Dc) override;
    bool FChecked = false;
    bool FRound = false;
};

class TRadioButton : public TCheckBox {
public:
    explicit TRadioButton(TWinControl* Parent) : TCheckBox(Parent) { FRound = true; }
    // Checking one unchecks the other radio buttons of the same parent.
    void SetChecked(bool Value);
    void Click() override;
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TWinControl* Parent, DWORD ExtraStyle = ES_AUTOHSCROLL);
    WideString Text() const;
    void SetText(WideStringView Value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    void SetEnabled(bool Value) override;

protected:
    bool FReadOnly = false;
};

class TMemo : public TEdit {
public:
    explicit TMemo(TWinControl* Parent);
};

// An integer edit with up and down arrows at its right edge.
class TSpinEdit : public TWinControl {
public:
    explicit TSpinEdit(TWinControl* Parent);
    int Value() const;
    void SetValue(int Value);
    void SetBounds(int Left, int Top, int Width, int Height) override;
    void SetEnabled(bool Value) override;
    TEdit* Edit() const { return FEdit; }

protected:
    void PaintWindow(HDC Dc) override;
    LRESULT WndProc(UINT Message, WPARAM WParam, LPARAM LParam) override;

private:
    static constexpr int ArrowWidth = 15;
    TEdit* FEdit = nullptr;
};
