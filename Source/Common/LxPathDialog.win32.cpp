#include "LxStrUtils.h"
#include "LxVclUtils.h"
#include "LxWinHandles.h"

#include <shlobj.h>

namespace {

void NoModalNotification() {}

// Memory of the shell's task allocator, given back to it.
template <class T>
class TShellMemory {
public:
    explicit TShellMemory(IMalloc* Allocator, T* Memory = nullptr)
        : FAllocator(Allocator), FMemory(Memory) {}
    ~TShellMemory() {
        if (FMemory) FAllocator->Free(FMemory);
    }
    TShellMemory(const TShellMemory&) = delete;
    TShellMemory& operator=(const TShellMemory&) = delete;
    T* Get() const { return FMemory; }
    T** Receive() { return &FMemory; }

private:
    IMalloc* FAllocator;
    T* FMemory;
};

// Runs the closing half of a modal state however the browser call ends.
class TModalState {
public:
    TModalState() : FErrorMode(0) {
        TLxModalHooks::ModalStarted();
        // No critical-error box for a drive without medium while the tree is browsed.
        FErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    }
    ~TModalState() {
        SetErrorMode(FErrorMode);
        TLxModalHooks::ModalFinished();
    }
    TModalState(const TModalState&) = delete;
    TModalState& operator=(const TModalState&) = delete;

private:
    UINT FErrorMode;
};

// Preselects the folder given as the callback's data once the dialog is up.
int CALLBACK BrowseCallback(HWND Wnd, UINT Message, LPARAM, LPARAM Data) {
    if (Message == BFFM_INITIALIZED && Data) SendMessageW(Wnd, BFFM_SETSELECTIONW, TRUE, Data);
    return 0;
}

void ProcessPendingMessages() {
    MSG Message;
    while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
        if (Message.message == WM_QUIT) {
            // Left for the application's own loop.
            PostQuitMessage(static_cast<int>(Message.wParam));
            return;
        }
        TranslateMessage(&Message);
        DispatchMessageW(&Message);
    }
}

} // namespace

void (*TLxModalHooks::ModalStarted)() = NoModalNotification;
void (*TLxModalHooks::ModalFinished)() = NoModalNotification;

bool TLxPathDialog::Execute(TWindowHandle Owner) {
    if (!DirectoryExists(Path)) Path.clear();
    BROWSEINFOW Info{};
    TComPtr<IMalloc> Allocator;
    if (FAILED(SHGetMalloc(Allocator.Receive())) || !Allocator) return false;
    TShellMemory<wchar_t> DisplayName(
        Allocator.Get(), static_cast<wchar_t*>(Allocator.Get()->Alloc(MAX_PATH * sizeof(wchar_t))));
    if (!DisplayName.Get()) return false;

    TShellMemory<ITEMIDLIST> RootList(Allocator.Get());
    if (!Root.empty()) {
        TComPtr<IShellFolder> Desktop;
        if (SUCCEEDED(SHGetDesktopFolder(Desktop.Receive())) && Desktop) {
            WideString RootText = Root;
            ULONG Eaten = 0;
            Desktop.Get()->ParseDisplayName(static_cast<HWND>(Owner), nullptr, WinText(RootText),
                                            &Eaten, RootList.Receive(), nullptr);
        }
    }

    const WideString Title = Caption;
    Info.hwndOwner = static_cast<HWND>(Owner);
    Info.pidlRoot = RootList.Get();
    Info.pszDisplayName = DisplayName.Get();
    Info.lpszTitle = WinText(Title);
    Info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (!Path.empty()) {
        Info.lpfn = BrowseCallback;
        Info.lParam = reinterpret_cast<LPARAM>(WinText(Path));
    }

    TShellMemory<ITEMIDLIST> Chosen(Allocator.Get());
    {
        const TModalState Modal;
        *Chosen.Receive() = SHBrowseForFolderW(&Info);
    }
    // An item without a file-system path counts as no choice.
    const bool Result = Chosen.Get() && SHGetPathFromIDListW(Chosen.Get(), DisplayName.Get());
    if (Result) Path = IncludeTrailingBackslash(FromWinText(DisplayName.Get()));
    ProcessPendingMessages();
    return Result;
}

bool TLxVclfn::SelectFolder(TWindowHandle Owner, WideStringView Caption, WideString& Folder) {
    TLxPathDialog Dialog;
    Dialog.Caption = WideString(Caption);
    Dialog.Root.clear();
    Dialog.Path = Folder;
    if (!Dialog.Execute(Owner)) return false;
    Folder = Dialog.Path;
    return true;
}
