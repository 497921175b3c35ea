#pragma once

#include "ToolkitTypes.h"

#include <memory>
#include <vector>

// The few GDI+ calls the windows need, loaded at run time from the system folder so that no
// copy of the library planted beside the installer is ever used.
namespace GdiPlus {

struct TImage;

// Starts GDI+ without its background thread (the program runs the notification hook) and
// stops it; every other call needs a started GDI+.
bool Startup();
void Shutdown();

struct TImageDeleter {
    void operator()(TImage* Image) const;
};
using TImagePtr = std::unique_ptr<TImage, TImageDeleter>;

// Decodes an image (PNG here) from bytes; raises an error when GDI+ cannot.
TImagePtr LoadImage(const uint8_t* Data, size_t Size);
// A bitmap over pixels 0xAARRGGBB, top row first, which must outlive it; raises an error when
// GDI+ cannot.
TImagePtr CreateBitmap(int Width, int Height, uint32_t* Argb);
void ImageSize(TImage* Image, unsigned& Width, unsigned& Height);
// Encodes the image anew as a PNG file; raises an error when GDI+ cannot.
std::vector<uint8_t> SavePng(TImage* Image);
// Draws the whole image into the rectangle with high-quality bicubic scaling.
void DrawImage(HDC Dc, TImage* Image, float X, float Y, float Width, float Height);

} // namespace GdiPlus
