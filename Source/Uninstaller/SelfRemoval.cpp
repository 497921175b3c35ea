#include "SelfRemoval.h"

#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

namespace {

// Renaming moves no data: it works only within the volume. The Windows folder's Temp is on the
// system volume and its path holds no user name; the folder above {app} is always on {app}'s.
bool MoveAway(const WideString& Self, const WideString& AppDir, WideString& Moved) {
    const WideString Name = u"~onesetup-" + TLxStrfn::NewGUIDString() + u".tmp";
    const WideString Windows = ReadWinText(
        [](wchar_t* Buffer, uint32_t Size) { return GetWindowsDirectoryW(Buffer, Size); });
    const WideString Parent = ExtractFilePath(ExcludeTrailingBackslash(AppDir));
    for (const WideString& Folder :
         {Windows.empty() ? WideString() : IncludeTrailingBackslash(Windows) + u"Temp\\", Parent,
          AppDir}) {
        if (Folder.empty()) continue;
        Moved = Folder + Name;
        if (TLxFilefn::RenameFile(Self, Moved, false)) return true;
    }
    return false;
}

} // namespace

WideString MoveOwnFileAway(const WideString& Self, const WideString& AppDir) {
    WideString Moved;
    if (!MoveAway(Self, AppDir, Moved)) return {};
    // Safe at any restart: no installation writes this name.
    TLxFilefn::DeleteAtRestart(Moved);
    return Moved;
}

// cmd.exe from the system folder, hidden, outside every folder of the product, deletes the file
// once the process has let go of it: a second after, and again two seconds later.
void DeleteAfterExit(const WideString& Moved) {
    if (Moved.empty()) return;
    const WideString Cmd = TLxSysfn::SystemFolderPath(u"cmd.exe");
    const WideString Delete = u"del /f /q \"" + Moved + u"\"";
    WideString Command = u"\"" + Cmd + u"\" /d /q /c ping -n 2 127.0.0.1 >nul & " + Delete +
                         u" & ping -n 3 127.0.0.1 >nul & " + Delete;
    const WideString Folder = TLxSysfn::SystemFolderPath(u"");
    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Info{};
    if (!CreateProcessW(nullptr, W(Command), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        W(Folder), &Startup, &Info))
        return;
    TKernelHandle Process(Info.hProcess), Thread(Info.hThread);
}
