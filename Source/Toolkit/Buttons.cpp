#include "Forms.h"
#include "Scaling.h"
#include "StdCtrls.h"

#include <windowsx.h>

namespace {

// The flat look: quiet grey at rest, blue when the mouse is over it or it has the focus.
constexpr TColor FaceNormal = 0xE1E1E1, FaceHot = 0xFBF1E5, FaceDown = 0xF7E4CC;
constexpr TColor EdgeNormal = 0xADADAD, EdgeHot = 0xD77800, EdgeDown = 0x995400;
constexpr TColor FaceDisabled = 0xF0F0F0, EdgeDisabled = 0xCCCCCC, TextDisabled = 0xA0A0A0;

} // namespace

TButton::TButton(TWinControl* Parent) : TWinControl(Parent) {
    TabStop = true;
    CreateHandle(ToolkitWindowClass, WS_CHILD | WS_CLIPSIBLINGS, 0, Parent->Handle());
}

void TButton::SetDefault(bool Value) {
    if (TForm* Form = ParentForm()) Form->DefaultButton = Value ? this : nullptr;
    Invalidate();
}

void TButton::SetCancel(bool Value) {
    if (TForm* Form = ParentForm()) Form->CancelButton = Value ? this : nullptr;
}

void TButton::Click() {
    if (ModalResult != mrNone)
        if (TForm* Form = ParentForm()) Form->ModalResult = ModalResult;
    TControl::Click();
}

void TButton::PaintWindow(HDC Dc) {
    RECT Rect;
    GetClientRect(FHandle, &Rect);
    const TForm* Form = ParentForm();
    const bool Emphasis = Focused() || (Form && Form->DefaultButton == this);
    TColor Face = FaceNormal, Edge = EdgeNormal;
    if (!FEnabled) {
        Face = FaceDisabled;
        Edge = EdgeDisabled;
    } else if (FDown) {
        Face = FaceDown;
        Edge = EdgeDown;
    } else if (FHot) {
        Face = FaceHot;
        Edge = EdgeHot;
    } else if (Emphasis) {
        Edge = EdgeHot;
    }
    FillColor(Dc, Rect, Face);
    FrameColor(Dc, Rect, Edge, Scaling::Line(Emphasis && FEnabled ? 2 : 1));
    HGDIOBJ Old = SelectObject(Dc, Font.Handle());
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, FEnabled ? Font.Color : TextDisabled);
    DrawTextW(Dc, W(FCaption), int(FCaption.size()), &Rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(Dc, Old);
}

LRESULT TButton::WndProc(UINT Message, WPARAM WParam, LPARAM LParam) {
    switch (Message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        ::SetFocus(FHandle);
        FDown = true;
        SetCapture(FHandle);
        Invalidate();
        return 0;
    case WM_LBUTTONUP:
        if (FDown) {
            FDown = false;
            ReleaseCapture();
            Invalidate();
            RECT Rect;
            GetClientRect(FHandle, &Rect);
            const POINT Point{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
            if (PtInRect(&Rect, Point) && FEnabled) Click();
        }
        return 0;
    case WM_MOUSEMOVE:
        if (!FHot) {
            FHot = true;
            TRACKMOUSEEVENT Track{sizeof(Track), TME_LEAVE, FHandle, 0};
            TrackMouseEvent(&Track);
            Invalidate();
        }
        return 0;
    case WM_MOUSELEAVE:
        FHot = false;
        Invalidate();
        return 0;
    case WM_CAPTURECHANGED:
        if (FDown) {
            FDown = false;
            Invalidate();
        }
        return 0;
    case WM_KEYUP:
        if (WParam == VK_SPACE && FEnabled) Click();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        Invalidate();
        break;
    default:
        break;
    }
    return TWinControl::WndProc(Message, WParam, LParam);
}

void TCheckBox::SetChecked(bool Value) {
    FChecked = Value;
    Invalidate();
}

void TCheckBox::Click() {
    SetChecked(!FChecked);
    TControl::Click();
}

void TCheckBox::PaintWindow(HDC Dc) {
    using Scaling::Px;
    RECT Client;
    GetClientRect(FHandle, &Client);
    FillColor(Dc, Client, Color);
    const int Box = Px(13);
    const int Top = (Client.bottom - Box) / 2;
    RECT Mark{0, Top, Box, Top + Box};
    const TColor Edge = !FEnabled ? EdgeDisabled : (FHot || Focused()) ? EdgeHot : 0x333333;
    const TColor Ink = FEnabled ? 0x333333 : TextDisabled;
    HPEN Pen = CreatePen(PS_INSIDEFRAME, Scaling::Line(1), Edge);
    HGDIOBJ OldPen = SelectObject(Dc, Pen);
    HGDIOBJ OldBrush = SelectObject(Dc, GetStockObject(DC_BRUSH));
    SetDCBrushColor(Dc, clWhite);
    if (FRound) {
        Ellipse(Dc, Mark.left, Mark.top, Mark.right, Mark.bottom);
        if (FChecked) {
            SelectObject(Dc, GetStockObject(DC_PEN));
            SetDCPenColor(Dc, Ink);
            SetDCBrushColor(Dc, Ink);
            const int Inset = Px(4);
            Ellipse(Dc, Mark.left + Inset, Mark.top + Inset, Mark.right - Inset,
                    Mark.bottom - Inset);
        }
    } else {
        Rectangle(Dc, Mark.left, Mark.top, Mark.right, Mark.bottom);
        if (FChecked) {
            SelectObject(Dc, GetStockObject(DC_PEN));
            SetDCPenColor(Dc, Ink);
            // The tick: a one-pixel line drawn again one pixel lower, as thick as the scale.
            for (int Thick = 0; Thick < Px(2); ++Thick) {
                const POINT Check[] = {{Px(3), Top + Px(6) + Thick},
                                       {Px(5), Top + Px(8) + Thick},
                                       {Px(10), Top + Px(3) + Thick}};
                Polyline(Dc, Check, 3);
            }
        }
    }
    SelectObject(Dc, OldPen);
    SelectObject(Dc, OldBrush);
    DeleteObject(Pen);
    RECT Text = Client;
    Text.left = Box + Px(4);
    HGDIOBJ Old = SelectObject(Dc, Font.Handle());
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, FEnabled ? Font.Color : TextDisabled);
    DrawTextW(Dc, W(FCaption), int(FCaption.size()), &Text,
              DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(Dc, Old);
}

void TRadioButton::SetChecked(bool Value) {
    TCheckBox::SetChecked(Value);
    if (!Value || !FParent) return;
    for (const auto& Sibling : FParent->Controls())
        if (auto* Radio = dynamic_cast<TRadioButton*>(Sibling.get()); Radio && Radio != this)
            Radio->TCheckBox::SetChecked(false);
}

void TRadioButton::Click() {
    SetChecked(true);
    TControl::Click();
}
