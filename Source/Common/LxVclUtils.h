#pragma once

// Windows only: the folder picker and what it tells the application object.
#include "LxSysUtils.h"

// The application object's modal-state notifications, defined by the window toolkit: a program
// that shows the folder picker without it does not link.
struct TLxModalHooks {
    static void ModalStarted();
    static void ModalFinished();
};

// The shell's folder browser.
class TLxPathDialog {
public:
    // Shown above the folder tree.
    WideString Caption;
    // In: the folder to preselect (dropped when it does not exist). Out: the chosen folder,
    // always with a trailing backslash.
    WideString Path;
    // When not empty, the root of the tree; otherwise the desktop.
    WideString Root;

    // True when the user chose a file-system folder.
    bool Execute(TWindowHandle Owner);
};

class TControl;
class TWinControl;
class TForm;

class TLxVclfn {
public:
    TLxVclfn() = delete;
    // The window services below live with the window toolkit, which implements them.
    // Every message of the installer: the information icon, captioned with the application title.
    static void ShowInfo(TWindowHandle Owner, WideStringView Text);
    // The modal loop bound to the owner's top-level window, which alone is disabled meanwhile.
    static int ShowModal(TForm* Form, TControl* Owner);
    static void SetDoubleBuffered(TWinControl* Control);
    static void InvalidateControls(TWinControl* Control);
    // Repaints the window and its controls when Alt is held or the key is Tab.
    static void FormKeyDown(TForm* Form, unsigned Shift, unsigned short Key);
    // True and Folder set (with its trailing backslash) when the user chose one; otherwise
    // Folder is left as it was.
    static bool SelectFolder(TWindowHandle Owner, WideStringView Caption, WideString& Folder);
};
