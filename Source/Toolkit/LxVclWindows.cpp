// The window services every installer window relies on: the owner-bound modal loop, double
// buffering, repaint on Alt and Tab, and the one information box.

#include "Application.h"
#include "Forms.h"
#include "LxVclUtils.h"

// The folder picker tells the application object about its modal state.
void TLxModalHooks::ModalStarted() {
    Application.ModalStarted();
}
void TLxModalHooks::ModalFinished() {
    Application.ModalFinished();
}

int TLxVclfn::ShowModal(TForm* Form, TControl* Owner) {
    auto* Windowed = dynamic_cast<TWinControl*>(Owner);
    LX_ASSERT(Windowed != nullptr);
    TControl* Top = Windowed;
    while (Top->Parent())
        Top = Top->Parent();
    const HWND OwnerWindow = static_cast<TWinControl*>(Top)->Handle();

    const LONG_PTR PreviousOwner =
        SetWindowLongPtrW(Form->Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(OwnerWindow));
    struct TRestoreOwner {
        HWND Window;
        LONG_PTR Previous;
        ~TRestoreOwner() { SetWindowLongPtrW(Window, GWLP_HWNDPARENT, Previous); }
    } RestoreOwner{Form->Handle(), PreviousOwner};

    if (Form->Visible() || !Form->Enabled() || Form->Modal())
        throw Exception(u"Cannot make a visible window modal");
    if (HWND Captured = GetCapture()) {
        SendMessageW(Captured, WM_CANCELMODE, 0, 0);
        ReleaseCapture();
    }
    Application.ModalStarted();
    Form->SetModal(true);
    HWND Active = GetActiveWindow();
    HCURSOR SavedCursor = SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    EnableWindow(OwnerWindow, FALSE);
    auto Restore = [&] {
        Form->HideWindow();
        SetCursor(SavedCursor);
        EnableWindow(OwnerWindow, TRUE);
        if (Active && IsWindow(Active)) SetActiveWindow(Active);
        Form->SetModal(false);
        Application.ModalFinished();
    };
    try {
        Form->ShowWindow();
        Form->ModalResult = mrNone;
        do {
            Application.HandleMessage();
            if (Application.Terminated())
                Form->ModalResult = mrCancel;
            else if (Form->ModalResult != mrNone)
                Form->CloseModal();
        } while (Form->ModalResult == mrNone);
    } catch (...) {
        Restore();
        throw;
    }
    const int Result = Form->ModalResult;
    if (GetActiveWindow() != Form->Handle()) Active = nullptr;
    Restore();
    return Result;
}

void TLxVclfn::SetDoubleBuffered(TWinControl* Control) {
    Control->DoubleBuffered = true;
    for (const auto& Child : Control->Controls())
        if (auto* Windowed = dynamic_cast<TWinControl*>(Child.get())) SetDoubleBuffered(Windowed);
}

void TLxVclfn::InvalidateControls(TWinControl* Control) {
    Control->Invalidate();
    for (const auto& Child : Control->Controls())
        if (auto* Windowed = dynamic_cast<TWinControl*>(Child.get())) InvalidateControls(Windowed);
}

void TLxVclfn::FormKeyDown(TForm* Form, unsigned Shift, unsigned short Key) {
    if ((Shift & ssAlt) || Key == VK_TAB) InvalidateControls(Form);
}

void TLxVclfn::ShowInfo(TWindowHandle Owner, WideStringView Text) {
    HCURSOR Saved = SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    Application.ModalStarted();
    struct TDone {
        HCURSOR Cursor;
        ~TDone() {
            Application.ModalFinished();
            SetCursor(Cursor);
        }
    } Done{Saved};
    TLxWinfn::InfoBox(Owner, Text, Application.Title);
}
