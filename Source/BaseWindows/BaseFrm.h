#pragma once

#include "Forms.h"
#include "TitleGlyph.h"

#include <memory>

class TImage;
class TLabel;
class TPanel;
class TPngImage;

// The base of every installer window: Tahoma 12, button-face colour, centred, double-buffered,
// repainted on Alt and Tab, and modal over its owner only.
class TBaseForm : public TForm {
public:
    TBaseForm(TForm* Owner, int ClientWidth, int ClientHeight, TBorderStyle Style = bsSizeable);

    int ShowModal() override;
    void CloseModal() override;
    void KeyDown(WORD Key, TShiftState Shift) override;

protected:
    // Call at the end of a window's constructor, once every control exists.
    void FinishDesign();

    // Null when the bytes are no picture that GDI+ decodes, or GDI+ is missing: the window goes
    // on without it.
    static std::shared_ptr<TPngImage> LoadPicture(const uint8_t* Data, size_t Size);
    // The face of the product windows' own texts.
    static constexpr char16_t YaHei[] = u"微软雅黑";
    static void SetFont(TControl* Control, const char16_t* Name, int Height, TColor Color);
    // The frameless windows' common parts: a colour panel over the whole window with a one-pixel
    // border, the background picture above the bottom strip, the title and version texts, and
    // the minimize and close glyphs.
    void CreateFrame(TPanel*& Panel, TImage*& Background, TLabel*& Title, TLabel*& Version,
                     TTitleGlyph*& Minimize, TTitleGlyph*& Close);
    // The strip at the bottom that the background stops above.
    static constexpr int FrameBottomHeight = 100;
};
