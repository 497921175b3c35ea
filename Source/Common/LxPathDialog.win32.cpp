#include "LxStrUtils.h"
#include "LxVclUtils.h"
#include "LxWinHandles.h"

#include <shlobj.h>

namespace {

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

bool TLxPathDialog::Execute(TWindowHandle Owner) {
    if (!DirectoryExists(Path)) Path.clear();
    BROWSEINFOW Info{};
    // The shell's allocator is the COM task allocator; MAX_PATH is the browser's own limit.
    TTaskMemory<wchar_t> DisplayName(
        static_cast<wchar_t*>(CoTaskMemAlloc(MAX_PATH * sizeof(wchar_t))));
    if (!DisplayName) return false;

    TTaskMemory<ITEMIDLIST> RootList;
    if (!Root.empty()) {
        TComPtr<IShellFolder> Desktop;
        if (SUCCEEDED(SHGetDesktopFolder(Desktop.Receive())) && Desktop) {
            WideString RootText = Root;
            ULONG Eaten = 0;
            Desktop.Get()->ParseDisplayName(static_cast<HWND>(Owner), nullptr, W(RootText), &Eaten,
                                            RootList.Receive(), nullptr);
        }
    }

    const WideString Title = Caption;
    Info.hwndOwner = static_cast<HWND>(Owner);
    Info.pidlRoot = RootList.Get();
    Info.pszDisplayName = DisplayName.Get();
    Info.lpszTitle = W(Title);
    Info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (!Path.empty()) {
        Info.lpfn = BrowseCallback;
        Info.lParam = reinterpret_cast<LPARAM>(W(Path));
    }

    TTaskMemory<ITEMIDLIST> Chosen;
    {
        const TModalState Modal;
        Chosen.Reset(SHBrowseForFolderW(&Info));
    }
    // An item without a file-system path counts as no choice.
    const bool Result = Chosen.Get() && SHGetPathFromIDListW(Chosen.Get(), DisplayName.Get());
    if (Result) Path = IncludeTrailingBackslash(FromW(DisplayName.Get()));
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
