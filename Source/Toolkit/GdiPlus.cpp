#include "GdiPlus.h"

#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxWinHandles.h"

#include <shlwapi.h>

namespace GdiPlus {

namespace {

using TStatus = int;
struct TGraphics;
struct TImageAttributes;
constexpr TStatus Ok = 0;
constexpr int InterpolationModeHighQualityBicubic = 7;
constexpr int UnitPixel = 2;

struct TStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = TRUE;
    BOOL SuppressExternalCodecs = FALSE;
};

using THook = TStatus(WINAPI*)(ULONG_PTR* Token);
using TUnhook = void(WINAPI*)(ULONG_PTR Token);
struct TStartupOutput {
    THook NotificationHook = nullptr;
    TUnhook NotificationUnhook = nullptr;
};

struct TApi {
    HMODULE Library = nullptr;
    TStatus(WINAPI* Startup)(ULONG_PTR*, const TStartupInput*, TStartupOutput*) = nullptr;
    void(WINAPI* Shutdown)(ULONG_PTR) = nullptr;
    TStatus(WINAPI* CreateBitmapFromStream)(IStream*, TImage**) = nullptr;
    TStatus(WINAPI* CreateBitmapFromScan0)(INT, INT, INT, INT, BYTE*, TImage**) = nullptr;
    TStatus(WINAPI* GetImageWidth)(TImage*, UINT*) = nullptr;
    TStatus(WINAPI* GetImageHeight)(TImage*, UINT*) = nullptr;
    TStatus(WINAPI* CreateFromHDC)(HDC, TGraphics**) = nullptr;
    TStatus(WINAPI* SetInterpolationMode)(TGraphics*, int) = nullptr;
    TStatus(WINAPI* DrawImageRectRect)(TGraphics*, TImage*, float, float, float, float, float,
                                       float, float, float, int, const TImageAttributes*, void*,
                                       void*) = nullptr;
    TStatus(WINAPI* DeleteGraphics)(TGraphics*) = nullptr;
    TStatus(WINAPI* DisposeImage)(TImage*) = nullptr;
    TStatus(WINAPI* SaveImageToStream)(TImage*, IStream*, const CLSID*, const void*) = nullptr;
    ULONG_PTR Token = 0;
    ULONG_PTR HookToken = 0;
    TUnhook Unhook = nullptr;
};

TApi Api;

void Check(TStatus Status) {
    if (Status != Ok) throw Exception(FormatText(u"GDI+ error %d", Status));
}

} // namespace

bool Startup() {
    TLibraryHandle Library = LoadSystemLibrary(u"gdiplus.dll");
    if (!Library) return false;
    const HMODULE Module = Library.Get();
    Api.Library = Module;
    const bool Bound = Bind(Module, Api.Startup, "GdiplusStartup") &&
                       Bind(Module, Api.Shutdown, "GdiplusShutdown") &&
                       Bind(Module, Api.CreateBitmapFromStream, "GdipCreateBitmapFromStream") &&
                       Bind(Module, Api.CreateBitmapFromScan0, "GdipCreateBitmapFromScan0") &&
                       Bind(Module, Api.GetImageWidth, "GdipGetImageWidth") &&
                       Bind(Module, Api.GetImageHeight, "GdipGetImageHeight") &&
                       Bind(Module, Api.CreateFromHDC, "GdipCreateFromHDC") &&
                       Bind(Module, Api.SetInterpolationMode, "GdipSetInterpolationMode") &&
                       Bind(Module, Api.DrawImageRectRect, "GdipDrawImageRectRect") &&
                       Bind(Module, Api.DeleteGraphics, "GdipDeleteGraphics") &&
                       Bind(Module, Api.DisposeImage, "GdipDisposeImage") &&
                       Bind(Module, Api.SaveImageToStream, "GdipSaveImageToStream");
    TStartupInput Input;
    TStartupOutput Output;
    if (!Bound || Api.Startup(&Api.Token, &Input, &Output) != Ok) {
        Api = TApi();
        return false;
    }
    // Held until Shutdown: a static owner would need its own destructor at exit.
    Library.Release();
    if (Output.NotificationHook && Output.NotificationHook(&Api.HookToken) == Ok)
        Api.Unhook = Output.NotificationUnhook;
    return true;
}

void Shutdown() {
    if (!Api.Library) return;
    if (Api.Unhook) Api.Unhook(Api.HookToken);
    Api.Shutdown(Api.Token);
    FreeLibrary(Api.Library);
    Api = TApi();
}

void TImageDeleter::operator()(TImage* Image) const {
    if (Image && Api.DisposeImage) Api.DisposeImage(Image);
}

TImagePtr LoadImage(const uint8_t* Data, size_t Size) {
    if (!Api.Library) throw Exception(u"GDI+ is not available");
    // The stream holds its own copy, alive as long as the bitmap keeps its reference.
    IStream* Stream = SHCreateMemStream(Data, UINT(Size));
    if (!Stream) throw std::bad_alloc();
    TImage* Image = nullptr;
    const TStatus Status = Api.CreateBitmapFromStream(Stream, &Image);
    Stream->Release();
    Check(Status);
    return TImagePtr(Image);
}

TImagePtr CreateBitmap(int Width, int Height, uint32_t* Argb) {
    if (!Api.Library) throw Exception(u"GDI+ is not available");
    constexpr INT PixelFormat32bppARGB = 0x0026200A;
    TImage* Image = nullptr;
    Check(Api.CreateBitmapFromScan0(Width, Height, Width * 4, PixelFormat32bppARGB,
                                    reinterpret_cast<BYTE*>(Argb), &Image));
    return TImagePtr(Image);
}

void ImageSize(TImage* Image, unsigned& Width, unsigned& Height) {
    UINT W = 0, H = 0;
    Check(Api.GetImageWidth(Image, &W));
    Check(Api.GetImageHeight(Image, &H));
    Width = W;
    Height = H;
}

std::vector<uint8_t> SavePng(TImage* Image) {
    // The system's built-in PNG encoder.
    static const CLSID PngEncoder = {
        0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    IStream* Stream = SHCreateMemStream(nullptr, 0);
    if (!Stream) throw std::bad_alloc();
    struct TRelease {
        IStream* Stream;
        ~TRelease() { Stream->Release(); }
    } Release{Stream};
    Check(Api.SaveImageToStream(Image, Stream, &PngEncoder, nullptr));
    STATSTG Stat{};
    const LARGE_INTEGER Start{};
    if (FAILED(Stream->Stat(&Stat, STATFLAG_NONAME)) || Stat.cbSize.QuadPart > 0x7FFFFFFF ||
        FAILED(Stream->Seek(Start, STREAM_SEEK_SET, nullptr)))
        throw Exception(u"GDI+ error: the encoded image cannot be read back");
    std::vector<uint8_t> Bytes(size_t(Stat.cbSize.QuadPart));
    ULONG Read = 0;
    if (FAILED(Stream->Read(Bytes.data(), ULONG(Bytes.size()), &Read)) || Read != Bytes.size())
        throw Exception(u"GDI+ error: the encoded image cannot be read back");
    return Bytes;
}

void DrawImage(HDC Dc, TImage* Image, float X, float Y, float Width, float Height) {
    unsigned W, H;
    ImageSize(Image, W, H);
    TGraphics* Graphics = nullptr;
    Check(Api.CreateFromHDC(Dc, &Graphics));
    TStatus Status = Api.SetInterpolationMode(Graphics, InterpolationModeHighQualityBicubic);
    if (Status == Ok)
        Status = Api.DrawImageRectRect(Graphics, Image, X, Y, Width, Height, 0, 0, float(W),
                                       float(H), UnitPixel, nullptr, nullptr, nullptr);
    Api.DeleteGraphics(Graphics);
    Check(Status);
}

} // namespace GdiPlus
