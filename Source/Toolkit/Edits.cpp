#include "LxStrUtils.h"
#include "Scaling.h"
#include "StdCtrls.h"

TEdit::TEdit(TWinControl* Parent, DWORD ExtraStyle) : TWinControl(Parent) {
    TabStop = true;
    Color = GetSysColor(COLOR_WINDOW);
    CreateHandle(L"EDIT", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER | ExtraStyle, 0, Parent->Handle());
    FReadOnly = (ExtraStyle & ES_READONLY) != 0;
}

WideString TEdit::Text() const {
    const int Length = GetWindowTextLengthW(FHandle);
    std::wstring Buffer(size_t(Length) + 1, L'\0');
    GetWindowTextW(FHandle, Buffer.data(), Length + 1);
    return FromW(Buffer.c_str());
}

void TEdit::SetText(WideStringView Value) {
    SetCaption(Value);
}

void TEdit::SetReadOnly(bool Value) {
    FReadOnly = Value;
    SendMessageW(FHandle, EM_SETREADONLY, Value, 0);
}

void TEdit::SetEnabled(bool Value) {
    TWinControl::SetEnabled(Value);
    InvalidateRect(FHandle, nullptr, TRUE);
}

TMemo::TMemo(TWinControl* Parent)
    : TEdit(Parent, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL) {}

TSpinEdit::TSpinEdit(TWinControl* Parent) : TWinControl(Parent) {
    Color = GetSysColor(COLOR_WINDOW);
    CreateHandle(ToolkitWindowClass, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                 Parent->Handle());
    FEdit = Add<TEdit>();
    FEdit->SetText(u"0");
}

int TSpinEdit::Value() const {
    int32_t Number = 0;
    return TryStrToInt(Trim(FEdit->Text()), Number) ? Number : 0;
}

void TSpinEdit::SetValue(int Number) {
    FEdit->SetText(IntToStr(Number));
}

void TSpinEdit::SetBounds(int Left, int Top, int Width, int Height) {
    TWinControl::SetBounds(Left, Top, Width, Height);
    if (FEdit) FEdit->SetBounds(0, 0, Width - ArrowWidth, Height);
}

void TSpinEdit::SetEnabled(bool Value) {
    TWinControl::SetEnabled(Value);
    FEdit->SetEnabled(Value);
}

void TSpinEdit::PaintWindow(HDC Dc) {
    RECT Client;
    GetClientRect(FHandle, &Client);
    FillColor(Dc, Client, GetSysColor(COLOR_BTNFACE));
    RECT Arrows{Scaling::Px(FWidth - ArrowWidth), 0, Client.right, Client.bottom};
    const int Middle = Client.bottom / 2;
    const TColor Ink = FEnabled ? 0x333333 : 0xA0A0A0;
    // Each arrow a triangle of pixel rows, as many rows as the scale makes of three.
    const int Rows = Scaling::Px(3);
    for (int Half = 0; Half < 2; ++Half) {
        RECT Box{Arrows.left, Half ? Middle : 0, Arrows.right, Half ? Client.bottom : Middle};
        FrameColor(Dc, Box, 0xADADAD, Scaling::Line(1));
        const int Cx = (Box.left + Box.right) / 2, Cy = (Box.top + Box.bottom) / 2;
        for (int Row = 0; Row < Rows; ++Row) {
            const int Y = Half ? Cy - Rows / 2 + Row : Cy + Rows / 2 - Row;
            RECT Line{Cx - (Rows - 1) + Row, Y, Cx + Rows - Row, Y + 1};
            FillColor(Dc, Line, Ink);
        }
    }
}

LRESULT TSpinEdit::WndProc(UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_LBUTTONDOWN && FEnabled) {
        RECT Client;
        GetClientRect(FHandle, &Client);
        const int X = short(LOWORD(LParam)), Y = short(HIWORD(LParam));
        if (X >= Scaling::Px(FWidth - ArrowWidth)) {
            SetValue(Value() + (Y < Client.bottom / 2 ? 1 : -1));
            FEdit->SetFocus();
        }
        return 0;
    }
    return TWinControl::WndProc(Message, WParam, LParam);
}
