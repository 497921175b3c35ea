// The installer's entry: DLL search, COM, GDI+, path constants, the main window and its loop.

#include "Application.h"
#include "GdiPlus.h"
#include "LxProcessExit.h"
#include "LxSysUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    TLxSysfn::RestrictDllSearch();
    CoInitialize(nullptr);
    GdiPlus::Startup();
    TSetupfn::InitConstants();
    Application.Initialize();
    Application.ShowMainForm = false;
    uint32_t ExitCode = ExitCodeSuccess;
    try {
        // In silent and auto mode the constructor runs the whole installation.
        TMainForm MainForm;
        Application.Run();
        if (MainForm.SequenceFailed()) ExitCode = ExitCodeError;
    } catch (const std::exception& Error) {
        Application.HandleException(Error);
        ExitCode = ExitCodeError;
    }
    GdiPlus::Shutdown();
    CoUninitialize();
    ExitProgram(ExitCode);
}
