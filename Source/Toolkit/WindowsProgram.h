#pragma once

#include "Application.h"
#include "GdiPlus.h"
#include "LxProcessExit.h"
#include "LxSysUtils.h"

#include <objbase.h>

// The start and the end that both shipped programs share: the DLL search limited to System32
// before anything else loads, COM, GDI+ and the application object with no main form shown by
// itself. An error that escapes Work is reported and ends in ExitCodeError. Returns the code to
// exit with. A template, so that each program's entry stays one function.
template <class TWork>
uint32_t RunWindowsProgram(TWork Work) {
    TLxSysfn::RestrictDllSearch();
    CoInitialize(nullptr);
    GdiPlus::Startup();
    Application.Initialize();
    Application.ShowMainForm = false;
    uint32_t ExitCode;
    try {
        ExitCode = Work();
    } catch (const std::exception& Error) {
        Application.HandleException(Error);
        ExitCode = ExitCodeError;
    }
    GdiPlus::Shutdown();
    CoUninitialize();
    return ExitCode;
}
