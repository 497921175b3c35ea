#include "Forms.h"

#include "Application.h"
#include "Scaling.h"
#include "StdCtrls.h"

#include <algorithm>

TForm* FormOfWindow(HWND Window) {
    HWND Root = GetAncestor(Window, GA_ROOT);
    if (!Root) return nullptr;
    wchar_t ClassName[32];
    if (!GetClassNameW(Root, ClassName, 32) || lstrcmpW(ClassName, ToolkitWindowClass) != 0)
        return nullptr;
    return dynamic_cast<TForm*>(
        reinterpret_cast<TWinControl*>(GetWindowLongPtrW(Root, GWLP_USERDATA)));
}

TForm::TForm(TForm* Owner) : TWinControl(nullptr), FOwner(Owner) {
    Font = TFont();
    Color = GetSysColor(COLOR_BTNFACE);
    FVisible = false;
}

TForm::~TForm() {
    if (Application.MainForm == this) Application.MainForm = nullptr;
}

namespace {

void StylesOf(const TForm& Form, DWORD& Style, DWORD& ExStyle) {
    Style = WS_CLIPCHILDREN;
    ExStyle = 0;
    switch (Form.BorderStyle) {
    case bsNone:
        Style |= WS_POPUP | WS_SYSMENU;
        break;
    case bsDialog:
        Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
        ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    case bsSizeable:
        Style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        break;
    }
    if (Form.BorderStyle != bsDialog) {
        if (Form.MinimizeBox) Style |= WS_MINIMIZEBOX;
        if (Form.MaximizeBox) Style |= WS_MAXIMIZEBOX;
    }
    if (!Form.Owner()) ExStyle |= WS_EX_APPWINDOW;
}

} // namespace

void TForm::CreateWindowHandle() {
    DWORD Style, ExStyle;
    StylesOf(*this, Style, ExStyle);
    CreateHandle(ToolkitWindowClass, Style, ExStyle, FOwner ? FOwner->Handle() : nullptr);
    if (FClientWidth) SetClientSize(FClientWidth, FClientHeight);
}

void TForm::SetClientSize(int Width, int Height) {
    FClientWidth = Width;
    FClientHeight = Height;
    DWORD Style, ExStyle;
    StylesOf(*this, Style, ExStyle);
    RECT Rect{0, 0, Scaling::Px(Width), Scaling::Px(Height)};
    AdjustWindowRectEx(&Rect, Style, FALSE, ExStyle);
    SetBounds(FLeft, FTop, Rect.right - Rect.left, Rect.bottom - Rect.top);
}

void TForm::Rescale() {
    SetClientSize(FClientWidth, FClientHeight);
    TWinControl::Rescale();
    RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

namespace {

BOOL CALLBACK RescaleForm(HWND Window, LPARAM) {
    if (TForm* Form = FormOfWindow(Window); Form && Form->Handle() == Window) Form->Rescale();
    return TRUE;
}

} // namespace

// Moved to a monitor of another scale: every window of the program takes it, and this one is
// centred where the system suggests.
void TForm::DpiChanged(int Dpi, const RECT& Suggested) {
    if (!Scaling::Choose(FHandle, FClientWidth, FClientHeight, Dpi, &Suggested)) return;
    EnumThreadWindows(GetCurrentThreadId(), RescaleForm, 0);
    const int X = (Suggested.left + Suggested.right - FWidth) / 2;
    const int Y = (Suggested.top + Suggested.bottom - FHeight) / 2;
    SetBounds(X, Y, FWidth, FHeight);
}

void TForm::CenterOnScreen() {
    RECT Work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
    SetBounds(Work.left + (Work.right - Work.left - FWidth) / 2,
              Work.top + (Work.bottom - Work.top - FHeight) / 2, FWidth, FHeight);
}

void TForm::ShowWindow() {
    if (!FVisible) CenterOnScreen();
    FVisible = true;
    ::ShowWindow(FHandle, SW_SHOW);
    if (OnShow) OnShow();
}

void TForm::HideWindow() {
    FVisible = false;
    ::ShowWindow(FHandle, SW_HIDE);
}

bool TForm::CloseQuery() {
    return !OnCloseQuery || OnCloseQuery();
}

void TForm::Close() {
    if (FModal) {
        ModalResult = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction Action = caHide;
    if (OnClose) OnClose(Action);
    if (Action == caNone) return;
    if (Application.MainForm == this) {
        Application.Terminate();
        return;
    }
    if (Action == caMinimize)
        ::ShowWindow(FHandle, SW_MINIMIZE);
    else
        HideWindow();
}

void TForm::CloseModal() {
    TCloseAction Action = CloseQuery() ? caHide : caNone;
    if (Action == caHide && OnClose) OnClose(Action);
    if (Action == caNone) ModalResult = mrNone;
}

int TForm::ShowModal() {
    if (FVisible || !FEnabled || FModal) throw Exception(u"Cannot make a visible window modal");
    Application.ModalStarted();
    FModal = true;
    ShowWindow();
    ModalResult = mrNone;
    try {
        do {
            Application.HandleMessage();
            if (Application.Terminated())
                ModalResult = mrCancel;
            else if (ModalResult != mrNone)
                CloseModal();
        } while (ModalResult == mrNone);
    } catch (...) {
        HideWindow();
        FModal = false;
        Application.ModalFinished();
        throw;
    }
    HideWindow();
    FModal = false;
    Application.ModalFinished();
    return ModalResult;
}

void TForm::KeyDown(WORD, TShiftState) {}

namespace {

void CollectTabStops(const TWinControl& Parent, std::vector<TWinControl*>& Stops) {
    std::vector<TWinControl*> Children;
    for (const auto& Control : Parent.Controls())
        if (Control->IsWindowed() && Control->Visible())
            Children.push_back(static_cast<TWinControl*>(Control.get()));
    std::stable_sort(Children.begin(), Children.end(),
                     [](TWinControl* A, TWinControl* B) { return A->TabOrder < B->TabOrder; });
    for (TWinControl* Child : Children) {
        if (!Child->Enabled()) continue;
        if (Child->TabStop) Stops.push_back(Child);
        CollectTabStops(*Child, Stops);
    }
}

TWinControl* ControlOfWindow(HWND Window) {
    return reinterpret_cast<TWinControl*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

} // namespace

void TForm::SelectNext(bool Forward) {
    std::vector<TWinControl*> Stops;
    CollectTabStops(*this, Stops);
    if (Stops.empty()) return;
    HWND Focus = GetFocus();
    auto Current = std::find_if(Stops.begin(), Stops.end(), [&](TWinControl* C) {
        return C->Handle() == Focus || IsChild(C->Handle(), Focus);
    });
    size_t Index = 0;
    if (Current != Stops.end()) {
        const size_t At = size_t(Current - Stops.begin());
        Index = Forward ? (At + 1) % Stops.size() : (At + Stops.size() - 1) % Stops.size();
    } else if (!Forward) {
        Index = Stops.size() - 1;
    }
    Stops[Index]->SetFocus();
}

bool TForm::PreviewKey(const MSG& Message) {
    const WPARAM Key = Message.wParam;
    if (Message.message == WM_CHAR) {
        // The keys below were used on key-down; their characters would only make edits beep.
        if (Key == VK_TAB || Key == VK_ESCAPE) return true;
        if (Key == VK_RETURN) {
            TWinControl* Focused = ControlOfWindow(GetFocus());
            return !(Focused && dynamic_cast<TMemo*>(Focused) &&
                     !dynamic_cast<TMemo*>(Focused)->ReadOnly());
        }
        return false;
    }
    if (Message.message != WM_KEYDOWN && Message.message != WM_SYSKEYDOWN) return false;
    TShiftState Shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) Shift |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) Shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0 || Message.message == WM_SYSKEYDOWN) Shift |= ssAlt;
    if (KeyPreview) KeyDown(WORD(Key), Shift);
    if (Message.message == WM_SYSKEYDOWN) return false;
    TWinControl* Focused = ControlOfWindow(GetFocus());
    switch (Key) {
    case VK_TAB:
        SelectNext(!(Shift & ssShift));
        return true;
    case VK_RETURN:
        if (auto* Button = dynamic_cast<TButton*>(Focused)) {
            Button->Click();
            return true;
        }
        if (DefaultButton && DefaultButton->Visible() && DefaultButton->Enabled()) {
            DefaultButton->Click();
            return true;
        }
        return false;
    case VK_ESCAPE:
        if (CancelButton && CancelButton->Visible() && CancelButton->Enabled()) {
            CancelButton->Click();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void TForm::PaintBackground(HDC Dc) {
    RECT Client;
    GetClientRect(FHandle, &Client);
    FillColor(Dc, Client, Color);
}

LRESULT TForm::WndProc(UINT Message, WPARAM WParam, LPARAM LParam) {
    switch (Message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SIZE:
        // The designed size stays as set unless the user resized the window.
        if (LOWORD(LParam) != Scaling::Px(FClientWidth))
            FClientWidth = Scaling::Designed(LOWORD(LParam));
        if (HIWORD(LParam) != Scaling::Px(FClientHeight))
            FClientHeight = Scaling::Designed(HIWORD(LParam));
        if (OnResize) OnResize();
        break;
    case WM_DPICHANGED:
        if (!Scaling::Enabled()) break;
        DpiChanged(LOWORD(WParam), *reinterpret_cast<const RECT*>(LParam));
        return 0;
    case WM_MOVE: {
        RECT Rect;
        GetWindowRect(FHandle, &Rect);
        FLeft = Rect.left;
        FTop = Rect.top;
        break;
    }
    case WM_WINDOWPOSCHANGING:
        if (ScreenSnap) {
            // Snaps to the work area's edges when moved near them.
            auto* Position = reinterpret_cast<WINDOWPOS*>(LParam);
            if (!(Position->flags & SWP_NOMOVE)) {
                RECT Work;
                SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
                if (std::abs(Position->x - Work.left) < SnapBuffer) Position->x = Work.left;
                if (std::abs(Position->x + FWidth - Work.right) < SnapBuffer)
                    Position->x = Work.right - FWidth;
                if (std::abs(Position->y - Work.top) < SnapBuffer) Position->y = Work.top;
                if (std::abs(Position->y + FHeight - Work.bottom) < SnapBuffer)
                    Position->y = Work.bottom - FHeight;
            }
        }
        break;
    default:
        break;
    }
    return TWinControl::WndProc(Message, WParam, LParam);
}
