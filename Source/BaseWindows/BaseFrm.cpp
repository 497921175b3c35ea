#include "BaseFrm.h"

#include "Application.h"
#include "LxVclUtils.h"
#include "Scaling.h"
#include "StdCtrls.h"
#include "TitleGlyph.h"

TBaseForm::TBaseForm(TForm* Owner, int ClientWidth, int ClientHeight, TBorderStyle Style)
    : TForm(Owner) {
    BorderStyle = Style;
    Font.Name = u"Tahoma";
    Font.Height = 12;
    Font.Color = GetSysColor(COLOR_WINDOWTEXT);
    Color = GetSysColor(COLOR_BTNFACE);
    CreateWindowHandle();
    // The program's first window sets the scale for all: its monitor's, if it fits there.
    if (!Owner) Scaling::Choose(Handle(), ClientWidth, ClientHeight);
    SetClientSize(ClientWidth, ClientHeight);
}

void TBaseForm::FinishDesign() {
    TLxVclfn::SetDoubleBuffered(this);
}

std::shared_ptr<TPngImage> TBaseForm::LoadPicture(const uint8_t* Data, size_t Size) {
    if (!Data || Size == 0) return nullptr;
    auto Picture = std::make_shared<TPngImage>();
    try {
        Picture->LoadFromBytes(Data, Size);
    } catch (const Exception&) {
        return nullptr;
    }
    return Picture;
}

void TBaseForm::SetFont(TControl* Control, const char16_t* Name, int Height, TColor Color) {
    Control->Font.Name = Name;
    Control->Font.Height = Height;
    Control->Font.Color = Color;
}

void TBaseForm::CreateFrame(TPanel*& Panel, TImage*& Background, TLabel*& Title, TLabel*& Version,
                            TTitleGlyph*& Minimize, TTitleGlyph*& Close) {
    const int Width = ClientWidth(), Height = ClientHeight();
    TPanel* const Frame = Panel = Add<TPanel>();
    Frame->SetBounds(0, 0, Width, Height);
    Frame->BorderWidth = 1;
    Frame->BorderColor = GetSysColor(COLOR_WINDOWFRAME);
    // The border takes one pixel: the designed positions count from inside it.
    auto Place = [](TControl* Control, int Left, int Top, int W, int H) {
        Control->SetBounds(1 + Left, 1 + Top, W, H);
    };
    Background = Frame->Add<TImage>();
    Place(Background, 0, 0, Width - 2, Height - 2 - FrameBottomHeight);

    TLabel* const TitleText = Title = Frame->Add<TLabel>();
    Place(TitleText, 8, 168, 737, 57);
    SetFont(TitleText, YaHei, 37, clWhite);
    TitleText->Alignment = taCenter;
    TitleText->CenterVertically = true;
    TLabel* const VersionText = Version = Frame->Add<TLabel>();
    Place(VersionText, 8, 232, 737, 33);
    SetFont(VersionText, YaHei, 21, clWhite);
    VersionText->Alignment = taCenter;
    VersionText->CenterVertically = true;

    Minimize = Frame->Add<TTitleGlyph>(TTitleGlyph::Minimize);
    Place(Minimize, 682, 2, 32, 32);
    Close = Frame->Add<TTitleGlyph>(TTitleGlyph::Close);
    Place(Close, 714, 2, 32, 32);
}

int TBaseForm::ShowModal() {
    if (Owner()) return TLxVclfn::ShowModal(this, Owner());
    return TForm::ShowModal();
}

void TBaseForm::CloseModal() {
    try {
        TCloseAction Action = CloseQuery() ? caHide : caNone;
        if (Action == caHide && OnClose) OnClose(Action);
        if (Action == caNone) ModalResult = mrNone;
    } catch (const std::exception& Error) {
        ModalResult = mrNone;
        Application.HandleException(Error);
    }
}

void TBaseForm::KeyDown(WORD Key, TShiftState Shift) {
    TForm::KeyDown(Key, Shift);
    TLxVclfn::FormKeyDown(this, Shift, Key);
}
