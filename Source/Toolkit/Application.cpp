#include "Application.h"

#include "Controls.h"
#include "Forms.h"
#include "LxLog.h"
#include "LxStrUtils.h"

TApplication Application;

void TApplication::Initialize() {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof(Class);
    Class.style = CS_DBLCLKS;
    Class.lpfnWndProc = ToolkitWindowProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    Class.hIcon = LoadIconW(Class.hInstance, MAKEINTRESOURCEW(1));
    Class.lpszClassName = ToolkitWindowClass;
    RegisterClassExW(&Class);
}

bool TApplication::ProcessMessage(MSG& Message) {
    if (!PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) return false;
    if (Message.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    try {
        if (Message.message == WM_KEYDOWN || Message.message == WM_SYSKEYDOWN ||
            Message.message == WM_CHAR) {
            TForm* Form = FormOfWindow(Message.hwnd);
            if (Form && Form->PreviewKey(Message)) return true;
        }
    } catch (const std::exception& Error) {
        HandleException(Error);
        return true;
    }
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
    return true;
}

void TApplication::HandleMessage() {
    MSG Message;
    if (!ProcessMessage(Message)) WaitMessage();
}

void TApplication::ProcessMessages() {
    MSG Message;
    while (ProcessMessage(Message)) {
        if (FTerminated) break;
    }
}

void TApplication::Run() {
    while (!FTerminated)
        HandleMessage();
}

void TApplication::Terminate() {
    FTerminated = true;
    PostQuitMessage(0);
}

void TApplication::Minimize() {
    if (MainForm && MainForm->Handle()) ShowWindow(MainForm->Handle(), SW_MINIMIZE);
}

void TApplication::HandleException(const std::exception& Error) {
    const auto* Own = dynamic_cast<const Exception*>(&Error);
    const WideString Text = Own ? Own->Message() : Utf8ToWide(Error.what());
    LxLog::Write(u"Error: %s", Text);
    if (ReportError) {
        ReportError(Error);
        return;
    }
    HWND Owner = GetActiveWindow();
    ModalStarted();
    MessageBoxW(Owner, W(Text), W(Title), MB_OK | MB_ICONSTOP);
    ModalFinished();
}

void TApplication::SetBusyCursor(bool Busy) {
    FBusy += Busy ? 1 : -1;
    POINT Point;
    GetCursorPos(&Point);
    // Re-evaluates the cursor of the window under the mouse at once.
    SetCursorPos(Point.x, Point.y);
}
