// The installer's entry: DLL search, COM, GDI+, path constants, the main window and its loop.

#include "Application.h"
#include "GdiPlus.h"
#include "LxProcessExit.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

#include <cstdlib>
#include <objbase.h>

// The default terminate handler would pull the symbol demangler into every installer.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace {

// An installer runs with administrator rights from a download folder full of strangers'
// files: system libraries come from the system folder only.
void RestrictLibrarySearch() {
    HMODULE Kernel = GetModuleHandleW(L"kernel32.dll");
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    auto SetDirectories = reinterpret_cast<TSetDefaultDllDirectories>(
        reinterpret_cast<void*>(GetProcAddress(Kernel, "SetDefaultDllDirectories")));
    if (SetDirectories) SetDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictLibrarySearch();
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
