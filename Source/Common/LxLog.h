#pragma once

// Windows only: the run's log, kept when the command line asks for one ("/Log=FILE").
#include "LxStrUtils.h"
#include "LxTypes.h"

// One UTF-8 line per event, each after the local time, written through at once: a process that
// ends by ExitProgram leaves its log complete. Only the window thread writes. Without an open
// log every call does nothing.
namespace LxLog {

// Replaces the file at Path. A log that cannot be written never stops the run: one warning on
// standard error, and the run goes on without it.
void Open(WideStringView Path);
// As the command line's "/Log" option says: none, a file, or, alone, a file in the temporary
// folder named by the program and the time, whose path is told on standard error at the end.
void OpenFor(const std::optional<WideString>& Option);
bool Active();
// Format and arguments as FormatText takes them; formatted only when a log is open.
void WriteList(WideStringView Format, std::initializer_list<TFormatArg> Args);
template <class... TArgs>
void Write(WideStringView Format, const TArgs&... Args) {
    if (Active()) WriteList(Format, {TFormatArg(Args)...});
}
// The last line, with the exit code and how long the process ran. ExitProgram calls it.
void End(uint32_t Code);

} // namespace LxLog
