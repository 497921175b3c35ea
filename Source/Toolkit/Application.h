#pragma once

#include "ToolkitTypes.h"

#include <exception>

class TForm;

// The process's application object: its title, the message loop and its modal state.
class TApplication {
public:
    // Registers the window class; call once before any window exists.
    void Initialize();

    WideString Title = u"onesetup";
    TForm* MainForm = nullptr;
    bool ShowMainForm = true;
    bool Terminated() const { return FTerminated; }

    // Handles messages until the application terminates.
    void Run();
    // Waits for one message and handles it.
    void HandleMessage();
    // Handles every message waiting, then returns.
    void ProcessMessages();
    void Terminate();
    void Minimize();

    void ModalStarted() { ++FModalLevel; }
    void ModalFinished() { --FModalLevel; }
    int ModalLevel() const { return FModalLevel; }

    // The runtime's error report: the text in a box with the stop icon, captioned with the title.
    void HandleException(const std::exception& Error);
    // Where reports go instead when no window may appear (silent installs).
    void (*ReportError)(const std::exception& Error) = nullptr;

    void SetBusyCursor(bool Busy);
    bool BusyCursor() const { return FBusy > 0; }

private:
    bool ProcessMessage(MSG& Message);
    bool FTerminated = false;
    int FModalLevel = 0;
    int FBusy = 0;
};

extern TApplication Application;
