#include "Uninstaller.h"

#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxLog.h"
#include "LxPlatform.h"
#include "LxRegistry.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "LxWinText.h"
#include "MySetupUtils.h"
#include "SelfRemoval.h"

#include <shlobj.h>
#include <windows.h>
#undef DeleteFile

namespace {

// A file or folder removed, or kept with the system's reason.
void LogRemoval(WideStringView What, WideStringView Name, bool Removed) {
    if (!LxLog::Active()) return;
    if (Removed) {
        LxLog::Write(u"Removed %s: %s", What, Name);
        return;
    }
    const uint32_t Error = GetLastError();
    LxLog::Write(u"Kept %s: %s: error %d: %s", What, Name, int64_t(Error),
                 TLxSysfn::SysErrorMessage(Error));
}

// The whole file, decoded with the package codec within the codec's limit: anyone who can
// write to the folder can damage it.
void ReadData(const WideString& Path, TMemoryStream& Stream) {
    TFileStream File(Path, fmOpenRead);
    TMemoryStream Encoded;
    Encoded.CopyFrom(File, 0);
    TSetupfn::DecodeBounded(Encoded.Memory(), size_t(Encoded.GetSize()), Stream);
}

WideString FolderOf(TFunctionRef<uint32_t(wchar_t* Buffer, uint32_t Size)> Read) {
    const WideString Folder = ReadWinText(Read);
    return Folder.empty() ? WideString() : IncludeTrailingBackslash(Folder);
}

WideString EnvironmentFolder(const wchar_t* Name) {
    return FolderOf([Name](wchar_t* Buffer, uint32_t Size) {
        return GetEnvironmentVariableW(Name, Buffer, Size);
    });
}

// Folders of the system that are never taken away, and those whose files others share.
TRemovalPlaces SystemPlaces(const WideString& AppDir) {
    TRemovalPlaces Places;
    Places.AppDir = AppDir;
    Places.ProgramsDir = TLxRegfn::GetSpecialFolder(CSIDL_COMMON_PROGRAMS);
    const WideString Windows =
        FolderOf([](wchar_t* Buffer, uint32_t Size) { return GetWindowsDirectoryW(Buffer, Size); });
    const WideString System =
        FolderOf([](wchar_t* Buffer, uint32_t Size) { return GetSystemDirectoryW(Buffer, Size); });
    const WideString Wow64 = FolderOf(
        [](wchar_t* Buffer, uint32_t Size) { return GetSystemWow64DirectoryW(Buffer, Size); });
    for (const WideString& Folder : {Windows, System, Wow64})
        if (!Folder.empty()) Places.SharedFolders.push_back(Folder);
    Places.ProtectedFolders = Places.SharedFolders;
    for (const int Csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_APPDATA,
                            CSIDL_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROFILE,
                            CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_PERSONAL})
        Places.ProtectedFolders.push_back(TLxRegfn::GetSpecialFolder(Csidl));
    for (const wchar_t* Name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"})
        Places.ProtectedFolders.push_back(EnvironmentFolder(Name));
    return Places;
}

} // namespace

TUninstaller::TUninstaller(const WideString& AppDir)
    : FAppDir(AppDir), FSelf(PlatformModuleFileName()), FScript(std::make_unique<TSetupScript>()) {
    TMemoryStream Stream;
    ReadData(FAppDir + u"Uninstall.da1", Stream);
    FScript->LoadFromStream(Stream);
    try {
        Stream.Clear();
        ReadData(FAppDir + u"Uninstall.da2", Stream);
        FIconPng = Stream.Bytes();
    } catch (const Exception&) {
        // The window goes on without the icon.
        FIconPng.clear();
    }
    SetupAppDir = FAppDir;
    SetupAppTitle = FScript->BaseInfo().AppTitle;
    FPlan = PlanRemoval(*FScript, SystemPlaces(FAppDir));
}

int TUninstaller::StepCount() const {
    return int(FPlan.Files.size() + FPlan.Shortcuts.size() + FPlan.Values.size()) + 2;
}

void TUninstaller::Remove(TFunctionRef<void(WideStringView Detail)> Step) {
    // Its own folder held as the current one would keep {app} from going.
    SetCurrentDir(TLxSysfn::SystemFolderPath(u""));
    const WideString Self = TLxFilefn::ComparablePath(FSelf);

    std::vector<WideString> Programs;
    for (const WideString& File : FPlan.Files)
        Programs.push_back(TLxFilefn::ComparablePath(File));
    TLxWinfn::EndProcessesOf(Programs);

    for (size_t I = 0; I < FPlan.Files.size(); ++I) {
        const WideString& File = FPlan.Files[I];
        Step(File);
        // The program's own file goes last, once nothing else is left to do.
        if (Programs[I] == Self) continue;
        const bool Removed = TLxFilefn::ForceDeleteFile(File);
        LogRemoval(u"file", File, Removed);
        if (!Removed) FRemaining.push_back(File);
    }

    for (const WideString& Link : FPlan.Shortcuts) {
        Step(Link);
        LogRemoval(u"shortcut", Link, TLxFilefn::ForceDeleteFile(Link));
    }
    // A folder that keeps something of the user's stays.
    for (const WideString& Folder : FPlan.ShortcutFolders)
        LogRemoval(u"folder", Folder, TLxFilefn::RemoveDir(Folder));

    RemoveValues(Step);

    Step(u"Uninstall.da1");
    for (const char16_t* Data : {u"Uninstall.da1", u"Uninstall.da2"})
        LogRemoval(u"file", FAppDir + Data, TLxFilefn::ForceDeleteFile(FAppDir + Data));
    const WideString Entry = UninstallKeyPath(FScript->BaseInfo().GUID, OwnUninstallKeySuffix);
    LxLog::Write(TLxRegistryKey::DeleteKey(HKEY_LOCAL_MACHINE_VALUE, Entry)
                     ? u"Removed uninstall entry: HKLM\\%s"
                     : u"Kept uninstall entry: HKLM\\%s",
                 Entry);

    Step(FAppDir);
    for (const WideString& Folder : FPlan.Folders)
        LogRemoval(u"folder", Folder, TLxFilefn::RemoveDir(Folder));
    FMovedSelf = MoveOwnFileAway(FSelf, FAppDir);
    if (FMovedSelf.empty())
        LxLog::Write(u"Kept file: %s", FSelf);
    else
        LxLog::Write(u"Moved away, deleted after the end: %s -> %s", FSelf, FMovedSelf);
    if (FPlan.FoldersKept)
        LxLog::Write(u"Kept folder: %s (a protected place)", FAppDir);
    else
        LogRemoval(u"folder", FAppDir, TLxFilefn::RemoveDir(FAppDir));
}

void TUninstaller::RemoveValues(TFunctionRef<void(WideStringView Detail)> Step) {
    for (const TRemovalValue& Value : FPlan.Values) {
        Step(Value.SubKey);
        TLxRegistryKey Key = TLxRegistryKey::Open(Value.Root, Value.SubKey, true);
        if (!Key) {
            LxLog::Write(u"Registry key already gone: %s", Value.SubKey);
            continue;
        }
        LxLog::Write(Key.DeleteValue(Value.Name.c_str()) ? u"Removed registry value: %s\\%s"
                                                         : u"Kept registry value: %s\\%s",
                     Value.SubKey, Value.Name);
        Key = TLxRegistryKey();
        // Emptied keys go, walking up, as far as they are the product's to remove.
        for (WideString Path = Value.SubKey;
             MayRemoveRegistryKey(Path) && TLxRegistryKey::DeleteIfEmpty(Value.Root, Path);
             Path = ParentRegistryKey(Path))
            LxLog::Write(u"Removed registry key: %s", Path);
    }
}

bool TUninstaller::AppDirKept() const {
    return DirectoryExists(FAppDir);
}
