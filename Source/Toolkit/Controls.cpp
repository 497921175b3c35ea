#include "Controls.h"

#include "Application.h"
#include "Forms.h"
#include "Scaling.h"

#include <windowsx.h>

const wchar_t ToolkitWindowClass[] = L"OnesetupWindow";

void FillColor(HDC Dc, const RECT& Rect, TColor Color) {
    SetDCBrushColor(Dc, Color);
    FillRect(Dc, &Rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void FrameColor(HDC Dc, const RECT& Rect, TColor Color, int Width) {
    SetDCBrushColor(Dc, Color);
    RECT Frame = Rect;
    for (int I = 0; I < Width; ++I) {
        FrameRect(Dc, &Frame, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
        InflateRect(&Frame, -1, -1);
    }
}

namespace {

// One brush per colour for the system edit controls, kept to the end.
HBRUSH SolidBrush(TColor Color) {
    static std::vector<std::pair<TColor, HBRUSH>> Brushes;
    for (const auto& Brush : Brushes)
        if (Brush.first == Color) return Brush.second;
    Brushes.emplace_back(Color, CreateSolidBrush(Color));
    return Brushes.back().second;
}

TMouseButton ButtonOf(UINT Message) {
    switch (Message) {
    case WM_RBUTTONDOWN:
        return mbRight;
    case WM_MBUTTONDOWN:
        return mbMiddle;
    default:
        return mbLeft;
    }
}

} // namespace

TControl::TControl(TWinControl* Parent) : FParent(Parent) {
    if (Parent) {
        Font = Parent->Font;
        Color = Parent->Color;
    }
}

TForm* TControl::ParentForm() const {
    const TControl* Control = this;
    while (Control->Parent())
        Control = Control->Parent();
    return dynamic_cast<TForm*>(const_cast<TControl*>(Control));
}

RECT TControl::BoundsRect() const {
    if (!FParent) return {FLeft, FTop, FLeft + FWidth, FTop + FHeight};
    // Both edges are scaled, so that neighbours keep touching at any scale.
    using Scaling::Px;
    return {Px(FLeft), Px(FTop), Px(FLeft + FWidth), Px(FTop + FHeight)};
}

void TControl::SetBounds(int Left, int Top, int Width, int Height) {
    Invalidate();
    FLeft = Left;
    FTop = Top;
    FWidth = Width;
    FHeight = Height;
    Invalidate();
}

void TControl::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    if (FParent && FParent->Handle()) {
        const RECT Rect = BoundsRect();
        InvalidateRect(FParent->Handle(), &Rect, FALSE);
    }
}

void TControl::SetEnabled(bool Value) {
    FEnabled = Value;
    Invalidate();
}

void TControl::SetCaption(WideStringView Value) {
    FCaption = WideString(Value);
    Invalidate();
}

void TControl::Invalidate() {
    if (FParent && FParent->Handle()) {
        const RECT Rect = BoundsRect();
        InvalidateRect(FParent->Handle(), &Rect, FALSE);
    }
}

void TControl::Click() {
    if (OnClick) OnClick();
}

TWinControl::TWinControl(TWinControl* Parent) : TControl(Parent) {}

TWinControl::~TWinControl() {
    // Children first: their windows die with ours, but their objects must not outlive it.
    FControls.clear();
    if (FHandle) {
        SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
        if (FOriginalProc)
            SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOriginalProc));
        DestroyWindow(FHandle);
    }
}

void TWinControl::CreateHandle(const wchar_t* ClassName, DWORD Style, DWORD ExStyle,
                               HWND ParentHandle) {
    const bool Own = lstrcmpW(ClassName, ToolkitWindowClass) == 0;
    const RECT Rect = BoundsRect();
    FHandle =
        CreateWindowExW(ExStyle, ClassName, W(FCaption), Style | (FVisible ? WS_VISIBLE : 0),
                        Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top,
                        ParentHandle, nullptr, GetModuleHandleW(nullptr), Own ? this : nullptr);
    if (!FHandle) throw Exception(u"Cannot create a window");
    if (!Own) AttachHandle(FHandle);
    SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), FALSE);
}

void TWinControl::AttachHandle(HWND Handle) {
    FHandle = Handle;
    SetWindowLongPtrW(Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FOriginalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ToolkitWindowProc)));
}

void TWinControl::SetBounds(int Left, int Top, int Width, int Height) {
    FLeft = Left;
    FTop = Top;
    FWidth = Width;
    FHeight = Height;
    if (!FHandle) return;
    const RECT Rect = BoundsRect();
    MoveWindow(FHandle, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, TRUE);
}

void TWinControl::Rescale() {
    if (FParent) SetBounds(FLeft, FTop, FWidth, FHeight);
    if (FOriginalProc)
        SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), FALSE);
    for (const auto& Control : FControls)
        if (Control->IsWindowed()) static_cast<TWinControl*>(Control.get())->Rescale();
}

void TWinControl::SetVisible(bool Value) {
    FVisible = Value;
    if (FHandle) ShowWindow(FHandle, Value ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool Value) {
    FEnabled = Value;
    if (FHandle) EnableWindow(FHandle, Value);
    Invalidate();
}

void TWinControl::SetCaption(WideStringView Value) {
    FCaption = WideString(Value);
    if (FHandle) SetWindowTextW(FHandle, W(FCaption));
    Invalidate();
}

void TWinControl::Invalidate() {
    if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

void TWinControl::SetFocus() {
    if (FHandle) ::SetFocus(FHandle);
}

TControl* TWinControl::GraphicControlAt(int X, int Y) const {
    for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
        TControl* Control = It->get();
        if (Control->IsWindowed() || !Control->Visible()) continue;
        const RECT Rect = Control->BoundsRect();
        const POINT Point{X, Y};
        if (PtInRect(&Rect, Point)) return Control;
    }
    return nullptr;
}

void TWinControl::PaintBackground(HDC Dc) {
    RECT Client;
    GetClientRect(FHandle, &Client);
    FillColor(Dc, Client, Color);
    FrameColor(Dc, Client, BorderColor, Scaling::Line(BorderWidth));
}

void TWinControl::PaintWindow(HDC Dc) {
    PaintBackground(Dc);
    for (const auto& Control : FControls) {
        if (Control->IsWindowed() || !Control->Visible()) continue;
        const RECT Rect = Control->BoundsRect();
        const int Saved = SaveDC(Dc);
        IntersectClipRect(Dc, Rect.left, Rect.top, Rect.right, Rect.bottom);
        Control->Paint(Dc);
        RestoreDC(Dc, Saved);
    }
}

LRESULT TWinControl::DefaultProc(UINT Message, WPARAM WParam, LPARAM LParam) {
    if (FOriginalProc) return CallWindowProcW(FOriginalProc, FHandle, Message, WParam, LParam);
    return DefWindowProcW(FHandle, Message, WParam, LParam);
}

LRESULT TWinControl::WndProc(UINT Message, WPARAM WParam, LPARAM LParam) {
    if (FOriginalProc) {
        if (Message == WM_LBUTTONDOWN && OnMouseDown)
            OnMouseDown(mbLeft, GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
        return DefaultProc(Message, WParam, LParam);
    }
    switch (Message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT Paint;
        HDC Dc = BeginPaint(FHandle, &Paint);
        RECT Client;
        GetClientRect(FHandle, &Client);
        if (DoubleBuffered && Client.right > 0 && Client.bottom > 0) {
            HDC Buffer = CreateCompatibleDC(Dc);
            HBITMAP Bitmap = CreateCompatibleBitmap(Dc, Client.right, Client.bottom);
            HGDIOBJ Old = SelectObject(Buffer, Bitmap);
            PaintWindow(Buffer);
            BitBlt(Dc, 0, 0, Client.right, Client.bottom, Buffer, 0, 0, SRCCOPY);
            SelectObject(Buffer, Old);
            DeleteObject(Bitmap);
            DeleteDC(Buffer);
        } else {
            PaintWindow(Dc);
        }
        EndPaint(FHandle, &Paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        const int X = GET_X_LPARAM(LParam), Y = GET_Y_LPARAM(LParam);
        if (TControl* Control = GraphicControlAt(X, Y)) {
            if (!Control->Enabled()) return 0;
            if (Message == WM_LBUTTONDOWN && Control->OnClick) {
                FPressed = Control;
                SetCapture(FHandle);
            }
            if (Control->OnMouseDown) {
                const RECT Rect = Control->BoundsRect();
                Control->OnMouseDown(ButtonOf(Message), X - Rect.left, Y - Rect.top);
            }
        } else if (OnMouseDown) {
            OnMouseDown(ButtonOf(Message), X, Y);
        }
        return 0;
    }
    case WM_LBUTTONUP:
        if (FPressed) {
            TControl* Pressed = FPressed;
            FPressed = nullptr;
            ReleaseCapture();
            const POINT Point{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
            const RECT Rect = Pressed->BoundsRect();
            if (PtInRect(&Rect, Point) && Pressed->Visible() && Pressed->Enabled())
                Pressed->Click();
        }
        return 0;
    case WM_CAPTURECHANGED:
        FPressed = nullptr;
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(LParam) == HTCLIENT) {
            POINT Point;
            GetCursorPos(&Point);
            ScreenToClient(FHandle, &Point);
            TControl* Control = GraphicControlAt(Point.x, Point.y);
            HCURSOR Shape = Control && Control->Cursor ? Control->Cursor : Cursor;
            if (Application.BusyCursor()) Shape = LoadCursorW(nullptr, IDC_WAIT);
            SetCursor(Shape ? Shape : LoadCursorW(nullptr, IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        // The system edits take their colours from their objects.
        auto* Child = reinterpret_cast<TControl*>(
            GetWindowLongPtrW(reinterpret_cast<HWND>(LParam), GWLP_USERDATA));
        if (!Child) break;
        HDC Dc = reinterpret_cast<HDC>(WParam);
        SetTextColor(Dc, Child->Enabled() ? Child->Font.Color : GetSysColor(COLOR_GRAYTEXT));
        SetBkColor(Dc, Child->Color);
        return reinterpret_cast<LRESULT>(SolidBrush(Child->Color));
    }
    default:
        break;
    }
    return DefaultProc(Message, WParam, LParam);
}

LRESULT CALLBACK ToolkitWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_NCCREATE) {
        auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
        if (Create->lpCreateParams) {
            auto* Control = static_cast<TWinControl*>(Create->lpCreateParams);
            Control->FHandle = Window;
            SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Control));
        }
    }
    auto* Control = reinterpret_cast<TWinControl*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (!Control) return DefWindowProcW(Window, Message, WParam, LParam);
    // Errors must not unwind through the system's frames: the application reports them, and
    // the message loop goes on.
    try {
        return Control->WndProc(Message, WParam, LParam);
    } catch (const std::exception& Error) {
        Application.HandleException(Error);
    }
    return 0;
}
