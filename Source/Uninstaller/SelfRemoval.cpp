#include "SelfRemoval.h"

#include "LxProcessExit.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <cwchar>

namespace {

const char16_t MovedPrefix[] = u"~onesetup-";
const char16_t MovedSuffix[] = u".tmp";
// The copy's command line: this argument, the inherited handle of the uninstaller's process,
// the moved file.
const char16_t FinishArgument[] = u"/FinishRemoval";

WideString OneTimeName() {
    return MovedPrefix + TLxStrfn::NewGUIDString() + MovedSuffix;
}

// The copy deletes nothing but a file that only this code names.
bool IsMovedName(const WideString& Path) {
    const WideString Name = ExtractFileName(Path);
    const size_t Prefix = std::char_traits<char16_t>::length(MovedPrefix);
    const size_t Suffix = std::char_traits<char16_t>::length(MovedSuffix);
    return Name.size() > Prefix + Suffix && SameText(Name.substr(0, Prefix), MovedPrefix) &&
           SameText(Name.substr(Name.size() - Suffix), MovedSuffix);
}

// Renaming moves no data: it works only within the volume. The Windows folder's Temp is on the
// system volume and its path holds no user name; the folder above {app} is always on {app}'s.
bool MoveAway(const WideString& Self, const WideString& AppDir, WideString& Moved) {
    const WideString Name = OneTimeName();
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

// Starts Program with exactly the two handles given inherited, whatever else is inheritable.
bool StartWithHandles(const WideString& Program, WideString CommandLine, HANDLE First,
                      HANDLE Second) {
    SIZE_T Size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &Size);
    std::vector<uint8_t> List(Size);
    auto* Attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(List.data());
    if (!InitializeProcThreadAttributeList(Attributes, 1, 0, &Size)) return false;
    HANDLE Handles[] = {First, Second};
    STARTUPINFOEXW Startup{};
    Startup.StartupInfo.cb = sizeof(Startup);
    Startup.lpAttributeList = Attributes;
    PROCESS_INFORMATION Info{};
    const bool Started =
        UpdateProcThreadAttribute(Attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, Handles,
                                  sizeof(Handles), nullptr, nullptr) &&
        CreateProcessW(W(Program), W(CommandLine), nullptr, nullptr, TRUE,
                       EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr,
                       W(TLxSysfn::SystemFolderPath(u"")), &Startup.StartupInfo, &Info);
    DeleteProcThreadAttributeList(Attributes);
    if (!Started) return false;
    TKernelHandle Process(Info.hProcess), Thread(Info.hThread);
    return true;
}

} // namespace

WideString MoveOwnFileAway(const WideString& Self, const WideString& AppDir) {
    WideString Moved;
    if (!MoveAway(Self, AppDir, Moved)) return {};
    // Safe at any restart: no installation writes this name.
    TLxFilefn::DeleteAtRestart(Moved);
    return Moved;
}

void DeleteAfterExit(const WideString& Moved) {
    if (Moved.empty()) return;
    const WideString Copy = ExtractFilePath(Moved) + OneTimeName();
    if (!TLxFilefn::CopyToNewFile(Moved, Copy)) return;
    // Should the copy not start or not go with its last handle, the restart takes it.
    TLxFilefn::DeleteAtRestart(Copy);
    const TKernelHandle CopyFile(TLxFilefn::OpenDeletedOnClose(Copy));
    TKernelHandle Self;
    if (!CopyFile || !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                                      Self.Receive(), SYNCHRONIZE, TRUE, 0))
        return;
    const WideString CommandLine =
        u"\"" + Copy + u"\" " + FinishArgument +
        FormatText(u" %d \"", int64_t(reinterpret_cast<uintptr_t>(Self.Get()))) + Moved + u"\"";
    StartWithHandles(Copy, CommandLine, CopyFile.Get(), Self.Get());
}

void FinishSelfRemoval() {
    if (ParamCount() != 3 || ParamStr(1) != FinishArgument) return;
    const WideString Moved = ParamStr(3);
    const HANDLE Uninstaller =
        reinterpret_cast<HANDLE>(uintptr_t(std::wcstoull(W(ParamStr(2)), nullptr, 10)));
    if (IsMovedName(Moved) && WaitForSingleObject(Uninstaller, 60000) == WAIT_OBJECT_0) {
        // Its image may be let go of a moment after the process is signalled.
        for (int Try = 0; Try < 50 && !TLxFilefn::ForceDeleteFile(Moved); ++Try)
            Sleep(100);
    }
    ExitProgram(ExitCodeSuccess);
}
