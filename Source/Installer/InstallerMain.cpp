// The installer's entry: path constants, then the main window and its loop.

#include "Application.h"
#include "LxProcessExit.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "WindowsProgram.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ExitProgram(RunWindowsProgram([] {
        TSetupfn::InitConstants();
        // In silent and auto mode the constructor runs the whole installation.
        TMainForm MainForm;
        Application.Run();
        return MainForm.SequenceFailed() ? ExitCodeError : ExitCodeSuccess;
    }));
}
