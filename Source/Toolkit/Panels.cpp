#include "StdCtrls.h"

TPanel::TPanel(TWinControl* Parent) : TWinControl(Parent) {
    CreateHandle(ToolkitWindowClass, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0,
                 Parent->Handle());
}
