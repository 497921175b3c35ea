#include "Uninstaller.h"

#include "LxExceptions.h"
#include "LxFileStream.h"
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
        if (!TLxFilefn::ForceDeleteFile(File)) FRemaining.push_back(File);
    }

    for (const WideString& Link : FPlan.Shortcuts) {
        Step(Link);
        TLxFilefn::ForceDeleteFile(Link);
    }
    for (const WideString& Folder : FPlan.ShortcutFolders)
        TLxFilefn::RemoveDir(Folder);

    RemoveValues(Step);

    Step(u"Uninstall.da1");
    TLxFilefn::ForceDeleteFile(FAppDir + u"Uninstall.da1");
    TLxFilefn::ForceDeleteFile(FAppDir + u"Uninstall.da2");
    TLxRegistryKey::DeleteKey(HKEY_LOCAL_MACHINE_VALUE,
                              UninstallKeyPath(FScript->BaseInfo().GUID, OwnUninstallKeySuffix));

    Step(FAppDir);
    for (const WideString& Folder : FPlan.Folders)
        TLxFilefn::RemoveDir(Folder);
    FMovedSelf = MoveOwnFileAway(FSelf, FAppDir);
    if (!FPlan.FoldersKept) TLxFilefn::RemoveDir(FAppDir);
}

void TUninstaller::RemoveValues(TFunctionRef<void(WideStringView Detail)> Step) {
    for (const TRemovalValue& Value : FPlan.Values) {
        Step(Value.SubKey);
        TLxRegistryKey Key = TLxRegistryKey::Open(Value.Root, Value.SubKey, true);
        if (!Key) continue;
        Key.DeleteValue(Value.Name.c_str());
        Key = TLxRegistryKey();
        // Emptied keys go, walking up, as far as they are the product's to remove.
        for (WideString Path = Value.SubKey;
             MayRemoveRegistryKey(Path) && TLxRegistryKey::DeleteIfEmpty(Value.Root, Path);
             Path = ParentRegistryKey(Path)) {
        }
    }
}

bool TUninstaller::AppDirKept() const {
    return DirectoryExists(FAppDir);
}
