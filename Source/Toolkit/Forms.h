#pragma once

#include "Controls.h"

enum TBorderStyle {
    bsNone,     // no frame, no caption bar
    bsSizeable, // resizable frame with caption and system menu
    bsDialog    // fixed frame with caption and system menu only
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };

class TButton;

// A top-level window. Its owner (another form or none) decides which window it stays above.
class TForm : public TWinControl {
public:
    explicit TForm(TForm* Owner);
    ~TForm() override;

    TForm* Owner() const { return FOwner; }
    // Creates the window, hidden; call after the design properties are set.
    void CreateWindowHandle();

    TBorderStyle BorderStyle = bsSizeable;
    bool MinimizeBox = true;
    bool MaximizeBox = true;
    bool KeyPreview = true;
    bool ScreenSnap = true;
    int SnapBuffer = 10;

    // The client area's designed size.
    void SetClientSize(int Width, int Height);
    int ClientWidth() const { return FClientWidth; }
    int ClientHeight() const { return FClientHeight; }
    void CenterOnScreen();
    void Rescale() override;

    int ModalResult = mrNone;
    bool Modal() const { return FModal; }
    void SetModal(bool Value) { FModal = Value; }

    // The standard modal display: shown, its own loop, hidden again.
    virtual int ShowModal();
    virtual void CloseModal();
    void ShowWindow();
    void HideWindow();
    void Close();

    // The buttons that Enter and Esc press.
    TButton* DefaultButton = nullptr;
    TButton* CancelButton = nullptr;

    std::function<bool()> OnCloseQuery;
    std::function<void(TCloseAction&)> OnClose;
    TNotifyEvent OnShow;
    TNotifyEvent OnResize;

    // Keys reach the form before its controls; returns true when the key was used up.
    bool PreviewKey(const MSG& Message);
    virtual void KeyDown(WORD Key, TShiftState Shift);
    bool CloseQuery();

    LRESULT WndProc(UINT Message, WPARAM WParam, LPARAM LParam) override;

protected:
    void PaintBackground(HDC Dc) override;

private:
    void SelectNext(bool Forward);
    void DpiChanged(int Dpi, const RECT& Suggested);
    TForm* FOwner;
    bool FModal = false;
    int FClientWidth = 0;
    int FClientHeight = 0;
};

// Every form of the process that is shown on the task bar or owns others.
TForm* FormOfWindow(HWND Window);
