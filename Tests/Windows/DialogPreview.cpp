// Shows one installer dialog over a plain owner window so that a driver on the X side can look
// at it and operate it, then prints one JSON line: what the dialog returned and what a timer
// saw while it was open.
//   dialog_preview license TEXT | copy PATH REASON | download TITLE URL [clipboard]
//                  | proxy CHECKED ADDRESS PORT USER PASSWORD | base
//                  [--moved DPI]: once open, the dialog is told it moved to a monitor of DPI

#include "Application.h"
#include "BaseDialogFrm.h"
#include "CopyFileFailureFrm.h"
#include "DownloadFailureFrm.h"
#include "GdiPlus.h"
#include "IndyProxySettingsFrm.h"
#include "LicenseFrm.h"
#include "LxStrUtils.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <objbase.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

std::string Quote(WideStringView Text) {
    std::string Result = "\"";
    for (const char Char : WideToUtf8(Text)) {
        if (Char == '"' || Char == '\\') Result += '\\';
        if (Char == '\r' || Char == '\n')
            Result += Char == '\r' ? "\\r" : "\\n";
        else
            Result += Char;
    }
    Result += '"';
    return Result;
}

std::string List(const std::vector<std::string>& Items) {
    std::string Result = "[";
    for (const std::string& Item : Items) {
        if (Result.size() > 1) Result += ',';
        Result += Item;
    }
    Result += ']';
    return Result;
}

// One JSON object, built field by field.
class TJson {
public:
    TJson& Raw(const char* Name, const std::string& Value) {
        FText += FText.empty() ? "{\"" : ",\"";
        FText += Name;
        FText += "\":";
        FText += Value;
        return *this;
    }
    TJson& Text(const char* Name, WideStringView Value) { return Raw(Name, Quote(Value)); }
    TJson& Number(const char* Name, long long Value) { return Raw(Name, std::to_string(Value)); }
    TJson& Bool(const char* Name, bool Value) { return Raw(Name, Value ? "true" : "false"); }
    std::string Str() const { return FText.empty() ? "{}" : FText + "}"; }

private:
    std::string FText;
};

WideString TextOf(HWND Window) {
    std::wstring Buffer(size_t(GetWindowTextLengthW(Window)) + 1, L'\0');
    GetWindowTextW(Window, Buffer.data(), int(Buffer.size()));
    return FromW(Buffer.c_str());
}

bool HasClass(HWND Window, const wchar_t* Name) {
    wchar_t Class[64] = {};
    GetClassNameW(Window, Class, 64);
    return lstrcmpiW(Class, Name) == 0;
}

struct TWindowSearch {
    const std::function<bool(HWND)>* Match;
    HWND Found = nullptr;
};

// Enumeration callbacks are stdcall on 32-bit Windows: named functions, not lambdas.
BOOL CALLBACK MatchVisibleWindow(HWND Window, LPARAM Data) {
    auto* State = reinterpret_cast<TWindowSearch*>(Data);
    if (!IsWindowVisible(Window) || !(*State->Match)(Window)) return TRUE;
    State->Found = Window;
    return FALSE;
}

BOOL CALLBACK CollectEdit(HWND Child, LPARAM Data) {
    if (HasClass(Child, L"Edit")) reinterpret_cast<std::vector<HWND>*>(Data)->push_back(Child);
    return TRUE;
}

HWND FindThreadWindow(const std::function<bool(HWND)>& Match) {
    TWindowSearch Search{&Match};
    EnumThreadWindows(GetCurrentThreadId(), MatchVisibleWindow, reinterpret_cast<LPARAM>(&Search));
    return Search.Found;
}

// A child's rectangle in the client coordinates of one of its ancestors.
RECT PlaceIn(HWND Child, HWND Ancestor) {
    RECT Rect;
    GetWindowRect(Child, &Rect);
    MapWindowPoints(nullptr, Ancestor, reinterpret_cast<POINT*>(&Rect), 2);
    return Rect;
}

// Every edit inside a window, top to bottom: text, enabled, place in the window's client area.
std::string EditsOf(HWND Window) {
    std::vector<HWND> Edits;
    EnumChildWindows(Window, CollectEdit, reinterpret_cast<LPARAM>(&Edits));
    std::sort(Edits.begin(), Edits.end(), [Window](HWND A, HWND B) {
        const RECT First = PlaceIn(A, Window), Second = PlaceIn(B, Window);
        return First.top != Second.top ? First.top < Second.top : First.left < Second.left;
    });
    std::vector<std::string> Items;
    for (HWND Edit : Edits) {
        const RECT Rect = PlaceIn(Edit, Window);
        Items.push_back(TJson()
                            .Text("text", TextOf(Edit))
                            .Bool("enabled", IsWindowEnabled(Edit))
                            .Bool("read_only", GetWindowLongW(Edit, GWL_STYLE) & ES_READONLY)
                            .Bool("masked", SendMessageW(Edit, EM_GETPASSWORDCHAR, 0, 0) != 0)
                            .Raw("place", List({std::to_string(Rect.left), std::to_string(Rect.top),
                                                std::to_string(Rect.right - Rect.left),
                                                std::to_string(Rect.bottom - Rect.top)}))
                            .Str());
    }
    return List(Items);
}

// What the timer sees while the dialog is open.
struct TSeen {
    HWND Owner = nullptr;
    int Samples = 0;
    bool OwnerEverEnabled = false;
    bool OwnedByOwner = true;
    std::string Dialog; // caption, frame, client size, styles and edits at the first sample
    std::string LastEdits;
    std::string InfoBox; // the first message box shown over the dialog
    std::function<std::string(HWND)> Extra;
    std::string ExtraSeen;
    int MovedDpi = 0;
    std::string Moved; // the dialog's and the owner's client sizes and the dialog's centre after
} Seen;

// As the system tells a window dragged to a monitor of another scale: the new DPI and where the
// window should go.
std::string MoveToDpi(HWND Dialog, int Dpi) {
    const RECT Suggested{200, 150, 1200, 750};
    SendMessageW(Dialog, WM_DPICHANGED, MAKEWPARAM(Dpi, Dpi), reinterpret_cast<LPARAM>(&Suggested));
    RECT Frame, Client, OwnerClient;
    GetWindowRect(Dialog, &Frame);
    GetClientRect(Dialog, &Client);
    GetClientRect(Seen.Owner, &OwnerClient);
    auto Pair = [](long A, long B) { return List({std::to_string(A), std::to_string(B)}); };
    return TJson()
        .Raw("client", Pair(Client.right, Client.bottom))
        .Raw("owner_client", Pair(OwnerClient.right, OwnerClient.bottom))
        .Raw("centre", Pair((Frame.left + Frame.right) / 2, (Frame.top + Frame.bottom) / 2))
        .Str();
}

std::string BoxJson(HWND Box, HWND Dialog) {
    std::vector<std::string> Texts;
    HICON Icon = nullptr;
    for (HWND Child = GetWindow(Box, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT)) {
        if (!HasClass(Child, L"Static") || !IsWindowVisible(Child)) continue;
        if ((GetWindowLongW(Child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            Icon = reinterpret_cast<HICON>(SendMessageW(Child, STM_GETICON, 0, 0));
        else
            Texts.push_back(Quote(TextOf(Child)));
    }
    return TJson()
        .Text("caption", TextOf(Box))
        .Raw("texts", List(Texts))
        .Bool("owned_by_dialog", GetWindow(Box, GW_OWNER) == Dialog)
        .Bool("information_icon", Icon && Icon == LoadIconW(nullptr, IDI_INFORMATION))
        .Raw("dialog_edits", EditsOf(Dialog))
        .Str();
}

void CALLBACK Sample(HWND, UINT, UINT_PTR, DWORD) {
    const HWND Dialog = FindThreadWindow(
        [](HWND Window) { return Window != Seen.Owner && HasClass(Window, ToolkitWindowClass); });
    if (!Dialog) return;
    ++Seen.Samples;
    Seen.OwnerEverEnabled = Seen.OwnerEverEnabled || IsWindowEnabled(Seen.Owner);
    Seen.OwnedByOwner = Seen.OwnedByOwner && GetWindow(Dialog, GW_OWNER) == Seen.Owner;
    if (Seen.Dialog.empty()) {
        RECT Frame, Client;
        GetWindowRect(Dialog, &Frame);
        GetClientRect(Dialog, &Client);
        const LONG Style = GetWindowLongW(Dialog, GWL_STYLE);
        Seen.Dialog =
            TJson()
                .Text("caption", TextOf(Dialog))
                .Raw("frame", List({std::to_string(Frame.left), std::to_string(Frame.top),
                                    std::to_string(Frame.right), std::to_string(Frame.bottom)}))
                .Raw("client", List({std::to_string(Client.right), std::to_string(Client.bottom)}))
                .Bool("sizable", Style & WS_THICKFRAME)
                .Bool("system_menu", Style & WS_SYSMENU)
                .Bool("minimize_box", Style & WS_MINIMIZEBOX)
                .Bool("maximize_box", Style & WS_MAXIMIZEBOX)
                .Raw("edits", EditsOf(Dialog))
                .Str();
        if (Seen.Extra) Seen.ExtraSeen = Seen.Extra(Dialog);
    }
    if (Seen.MovedDpi && Seen.Moved.empty()) Seen.Moved = MoveToDpi(Dialog, Seen.MovedDpi);
    Seen.LastEdits = EditsOf(Dialog);
    const HWND Box = FindThreadWindow([](HWND Window) { return HasClass(Window, L"#32770"); });
    if (Box && Seen.InfoBox.empty()) Seen.InfoBox = BoxJson(Box, Dialog);
}

void PrintLine(std::string Line) {
    Line += '\n';
    DWORD Written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), Line.data(), DWORD(Line.size()), &Written, nullptr);
}

// CRLF line ends, as the edits show them.
WideString WithCrLf(WideStringView Text) {
    return StringReplace(StringReplace(Text, u"\r\n", u"\n", rfReplaceAll), u"\n", u"\r\n",
                         rfReplaceAll);
}

std::string ProxyJson(const TLxHttpProxy& Proxy) {
    return TJson()
        .Bool("checked", Proxy.Checked)
        .Text("address", Proxy.Address)
        .Number("port", Proxy.Port)
        .Text("user", Proxy.UserName)
        .Text("password", Proxy.Password)
        .Str();
}

// Clipboard text of one format up to its terminating zero, "null" when absent; the ANSI
// bytes as numbers, for the driver to decode with the reported code page.
std::string ClipboardText(UINT Format) {
    HANDLE Data = GetClipboardData(Format);
    const void* Locked = Data ? GlobalLock(Data) : nullptr;
    if (!Locked) return "null";
    std::string Result;
    if (Format == CF_UNICODETEXT) {
        const auto* Text = static_cast<const char16_t*>(Locked);
        const size_t Limit = GlobalSize(Data) / sizeof(char16_t);
        Result = Quote(WideStringView(Text, size_t(std::find(Text, Text + Limit, u'\0') - Text)));
    } else {
        const auto* Bytes = static_cast<const unsigned char*>(Locked);
        std::vector<std::string> Numbers;
        for (size_t I = 0; I < GlobalSize(Data) && Bytes[I]; ++I)
            Numbers.push_back(std::to_string(Bytes[I]));
        Result = List(Numbers);
    }
    GlobalUnlock(Data);
    return Result;
}

// Something else on the clipboard before the dialog opens, which copying must replace.
const UINT StaleFormat = RegisterClipboardFormatW(L"DialogPreviewStale");

void PutStaleClipboard(HWND Owner) {
    if (!OpenClipboard(Owner)) return;
    EmptyClipboard();
    if (HGLOBAL Memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4))
        if (!SetClipboardData(StaleFormat, Memory)) GlobalFree(Memory);
    CloseClipboard();
}

std::string ClipboardJson() {
    if (!OpenClipboard(nullptr)) return "null";
    // The formats put on the clipboard come before those the system derives from them.
    std::vector<std::string> Formats;
    for (UINT Format = EnumClipboardFormats(0); Format; Format = EnumClipboardFormats(Format))
        Formats.push_back(std::to_string(Format));
    const std::string Result = TJson()
                                   .Raw("unicode", ClipboardText(CF_UNICODETEXT))
                                   .Raw("ansi", ClipboardText(CF_TEXT))
                                   .Number("ansi_code_page", GetACP())
                                   .Raw("formats", List(Formats))
                                   .Bool("stale_left", IsClipboardFormatAvailable(StaleFormat))
                                   .Str();
    CloseClipboard();
    return Result;
}

void Run(const std::vector<WideString>& Args, TBaseForm& Owner, TJson& Out) {
    auto Arg = [&](size_t Index) { return Index < Args.size() ? Args[Index] : WideString(); };
    const WideString Mode = Arg(1);
    if (Mode == u"license") {
        TLicenseForm::Execute(&Owner, WithCrLf(Arg(2)));
    } else if (Mode == u"copy") {
        Out.Number("result", TCopyFileFailureForm::Execute(&Owner, Arg(2), Arg(3)));
    } else if (Mode == u"download") {
        const bool Clipboard = Arg(4) == u"clipboard";
        if (Clipboard) PutStaleClipboard(Owner.Handle());
        Out.Bool("result", TDownloadFailureForm::Execute(&Owner, Arg(2), Arg(3)));
        if (Clipboard) Out.Raw("clipboard", ClipboardJson());
    } else if (Mode == u"proxy") {
        TLxHttpProxy Proxy;
        Proxy.Checked = Arg(2) == u"1";
        Proxy.Address = Arg(3);
        Proxy.Port = StrToInt(Arg(4));
        Proxy.UserName = Arg(5);
        Proxy.Password = Arg(6);
        const std::string Before = ProxyJson(Proxy);
        Out.Bool("result", TIndyProxySettingsForm::Execute(&Owner, Proxy));
        const std::string After = ProxyJson(Proxy);
        Out.Raw("proxy", After).Bool("changed", After != Before);
    } else if (Mode == u"base") {
        TBaseDialogForm Form(&Owner, 534, 261);
        Form.SetCaption(u"基础对话框");
        // Wherever the buttons were, the layout depends on the client width alone.
        for (TButton* Button : {Form.btnOk, Form.btnCancel, Form.btnApply})
            Button->SetLeft(3);
        Form.ArrangeButtons();
        Seen.Extra = [&](HWND) {
            TJson Buttons;
            for (TButton* Button : {Form.btnOk, Form.btnCancel, Form.btnApply}) {
                const RECT Rect = PlaceIn(Button->Handle(), GetParent(Button->Handle()));
                Buttons.Raw(WideToUtf8(Button->Caption()).c_str(),
                            TJson()
                                .Number("left", Rect.left)
                                .Number("width", Rect.right - Rect.left)
                                .Bool("visible", IsWindowVisible(Button->Handle()))
                                .Str());
            }
            return Buttons.Str();
        };
        Out.Number("result", Form.ShowModal()).Raw("buttons", Seen.ExtraSeen);
        Seen.Extra = nullptr;
    } else {
        throw Exception(u"unknown dialog: " + Mode);
    }
}

// What the installer starts before its first window, stopped again at the end.
struct TStartup {
    TStartup() {
        CoInitialize(nullptr);
        GdiPlus::Startup();
        Application.Initialize();
    }
    ~TStartup() {
        GdiPlus::Shutdown();
        CoUninitialize();
    }
    TStartup(const TStartup&) = delete;
    TStartup& operator=(const TStartup&) = delete;
};

// Samples the dialog every 50 ms while the message loop runs.
struct TSampler {
    UINT_PTR Id = SetTimer(nullptr, 0, 50, Sample);
    ~TSampler() { KillTimer(nullptr, Id); }
    TSampler() = default;
    TSampler(const TSampler&) = delete;
    TSampler& operator=(const TSampler&) = delete;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The system's own splitting: arguments may hold quotes and line breaks.
    int Count = 0;
    const std::unique_ptr<wchar_t*, decltype(&LocalFree)> Argv(
        CommandLineToArgvW(GetCommandLineW(), &Count), &LocalFree);
    std::vector<WideString> Args;
    for (int I = 0; Argv && I < Count; ++I)
        Args.push_back(FromW(Argv.get()[I]));
    if (Args.size() > 2 && Args[Args.size() - 2] == u"--moved") {
        Seen.MovedDpi = StrToInt(Args.back());
        Args.resize(Args.size() - 2);
    }
    const TStartup Startup;
    Application.Title = u"预览产品 安装程序";
    int ExitCode = 0;
    try {
        TBaseForm Owner(nullptr, 400, 300);
        Owner.SetCaption(u"DialogPreview Owner");
        Owner.ShowWindow();
        Application.ProcessMessages();
        Seen.Owner = Owner.Handle();
        TJson Out;
        {
            const TSampler Sampler;
            Run(Args, Owner, Out);
        }
        Out.Number("samples", Seen.Samples)
            .Bool("owner_disabled_while_open", !Seen.OwnerEverEnabled)
            .Bool("owned_by_owner", Seen.OwnedByOwner)
            .Bool("owner_enabled_after", IsWindowEnabled(Owner.Handle()))
            .Bool("owner_active_after", GetActiveWindow() == Owner.Handle())
            .Raw("dialog", Seen.Dialog.empty() ? "null" : Seen.Dialog)
            .Raw("last_edits", Seen.LastEdits.empty() ? "null" : Seen.LastEdits)
            .Raw("info_box", Seen.InfoBox.empty() ? "null" : Seen.InfoBox)
            .Raw("moved", Seen.Moved.empty() ? "null" : Seen.Moved);
        PrintLine(Out.Str());
    } catch (const std::exception& Error) {
        PrintLine(TJson().Text("error", Utf8ToWide(Error.what())).Str());
        ExitCode = 1;
    }
    return ExitCode;
}
