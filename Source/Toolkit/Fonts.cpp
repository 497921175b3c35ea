#include "Fonts.h"

#include "Scaling.h"

#include <memory>
#include <vector>

namespace {

struct TCachedFont {
    WideString Name;
    int Pixels;
    bool Bold;
    bool Underline;
    HFONT Handle;
    ~TCachedFont() { DeleteObject(Handle); }
};

std::vector<std::unique_ptr<TCachedFont>>& Cache() {
    static std::vector<std::unique_ptr<TCachedFont>> Fonts;
    return Fonts;
}

} // namespace

HFONT TFont::Handle() const {
    const int Pixels = Scaling::Px(Height);
    for (const auto& Font : Cache())
        if (Font->Pixels == Pixels && Font->Bold == Bold && Font->Underline == Underline &&
            Font->Name == Name)
            return Font->Handle;
    LOGFONTW Log{};
    // A negative height asks for the character height, as every size in the windows is.
    Log.lfHeight = -Pixels;
    Log.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
    Log.lfUnderline = Underline;
    Log.lfCharSet = DEFAULT_CHARSET;
    Log.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(Log.lfFaceName, W(Name), LF_FACESIZE);
    HFONT Created = CreateFontIndirectW(&Log);
    Cache().push_back(
        std::unique_ptr<TCachedFont>(new TCachedFont{Name, Pixels, Bold, Underline, Created}));
    return Created;
}
