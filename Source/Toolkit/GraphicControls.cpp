#include "StdCtrls.h"

#include "LxStrUtils.h"
#include "Scaling.h"

#include <algorithm>

void TLabel::Paint(HDC Dc) {
    HGDIOBJ Old = SelectObject(Dc, Font.Handle());
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, FEnabled ? Font.Color : GetSysColor(COLOR_GRAYTEXT));
    UINT Flags = DT_NOPREFIX | (WordWrap ? DT_WORDBREAK : DT_SINGLELINE);
    if (Alignment == taCenter) Flags |= DT_CENTER;
    if (Alignment == taRightJustify) Flags |= DT_RIGHT;
    if (CenterVertically && !WordWrap) Flags |= DT_VCENTER;
    RECT Rect = BoundsRect();
    if (CenterVertically && WordWrap) {
        // The system centres single lines only: the wrapped text's height is measured first.
        RECT Needed = Rect;
        DrawTextW(Dc, W(FCaption), int(FCaption.size()), &Needed, Flags | DT_CALCRECT);
        Rect.top += std::max(0, int((Rect.bottom - Rect.top) - (Needed.bottom - Needed.top)) / 2);
    }
    DrawTextW(Dc, W(FCaption), int(FCaption.size()), &Rect, Flags);
    SelectObject(Dc, Old);
}

void TImage::Paint(HDC Dc) {
    if (!Picture || Picture->Empty()) return;
    const RECT Box = BoundsRect();
    const float BoxWidth = float(Box.right - Box.left), BoxHeight = float(Box.bottom - Box.top);
    // A picture's pixels are designed pixels. In a scaled window one larger than its box is
    // drawn at the box's size: that is how a vendor gives a sharp picture.
    float Width = Scaling::PxF(float(Picture->Width())),
          Height = Scaling::PxF(float(Picture->Height()));
    if ((Proportional || Scaling::Enabled()) &&
        ((Proportional && Stretch) || Width > BoxWidth || Height > BoxHeight)) {
        const float Scale = std::min(BoxWidth / Width, BoxHeight / Height);
        Width *= Scale;
        Height *= Scale;
    }
    const float X = float(Box.left) + (Center ? (BoxWidth - Width) / 2 : 0);
    const float Y = float(Box.top) + (Center ? (BoxHeight - Height) / 2 : 0);
    GdiPlus::DrawImage(Dc, Picture->Image(), X, Y, Width, Height);
}

void TPaintBox::Paint(HDC Dc) {
    if (OnPaint) OnPaint(Dc, BoundsRect());
}

void TBevel::Paint(HDC Dc) {
    const RECT Box = BoundsRect();
    const int Width = Scaling::Line(1);
    RECT Line{Box.left, Box.top, Box.right, Box.top + Width};
    FillColor(Dc, Line, GetSysColor(COLOR_BTNSHADOW));
    OffsetRect(&Line, 0, Width);
    FillColor(Dc, Line, GetSysColor(COLOR_BTNHIGHLIGHT));
}

TProgressBar::TProgressBar(TWinControl* Parent) : TControl(Parent) {
    Font.Name = u"Tahoma";
    Font.Height = 11;
    Font.Bold = true;
}

// The bar and its text show only the percentage: a step that keeps it costs no repaint, so a
// download that reports every few kilobytes does not paint thousands of times.
void TProgressBar::SetMax(int Value) {
    const int Before = Percent();
    FMax = Value;
    if (Percent() != Before) Invalidate();
}

void TProgressBar::SetPosition(int Value) {
    const int Before = Percent();
    FPosition = Value;
    if (Percent() != Before) Invalidate();
}

int TProgressBar::Percent() const {
    if (FMax <= 0) return 0;
    const int64_t Done = std::clamp<int64_t>(FPosition, 0, FMax);
    return int(Done * 100 / FMax);
}

void TProgressBar::Paint(HDC Dc) {
    constexpr TColor Frame = 0xBCBCBC, Empty = 0xFFFFFF, Fill = 0xD77800, Text = 0x333333;
    RECT Rect = BoundsRect();
    const int Line = Scaling::Line(1);
    FrameColor(Dc, Rect, Frame, Line);
    InflateRect(&Rect, -Line, -Line);
    RECT Done = Rect;
    Done.right = Rect.left + int((int64_t(Rect.right - Rect.left) * Percent()) / 100);
    RECT Rest = Rect;
    Rest.left = Done.right;
    FillColor(Dc, Done, Fill);
    FillColor(Dc, Rest, Empty);
    // The percentage reads dark over the empty part and white over the filled part.
    const WideString Caption = IntToStr(Percent()) + u"%";
    HGDIOBJ Old = SelectObject(Dc, Font.Handle());
    SetBkMode(Dc, TRANSPARENT);
    for (int Pass = 0; Pass < 2; ++Pass) {
        const RECT& Clip = Pass == 0 ? Rest : Done;
        const int Saved = SaveDC(Dc);
        IntersectClipRect(Dc, Clip.left, Clip.top, Clip.right, Clip.bottom);
        SetTextColor(Dc, Pass == 0 ? Text : clWhite);
        DrawTextW(Dc, W(Caption), int(Caption.size()), &Rect,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        RestoreDC(Dc, Saved);
    }
    SelectObject(Dc, Old);
}
