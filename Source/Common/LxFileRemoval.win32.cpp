// Removing and moving files away: the uninstaller's. Apart, so that the installer does not
// carry it.
#include "LxSysUtils.h"
#include "LxWinText.h"

#include <windows.h>
#undef DeleteFile

namespace {

WideString Ext(WideStringView Path) {
    return TLxFilefn::ExtendedPath(Path);
}

} // namespace

bool TLxFilefn::ForceDeleteFile(WideStringView Path) {
    if (DeleteFile(Path)) return true;
    const DWORD Attributes = GetFileAttributesW(W(Ext(Path)));
    if (Attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (Attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    SetFileAttributesW(W(Ext(Path)), FILE_ATTRIBUTE_NORMAL);
    return DeleteFile(Path) || !FileExists(Path);
}

bool TLxFilefn::RemoveDir(WideStringView Path) {
    return RemoveDirectoryW(W(Ext(Path))) != 0;
}

bool TLxFilefn::RenameFile(WideStringView From, WideStringView To, bool ReplaceExisting) {
    return MoveFileExW(W(Ext(From)), W(Ext(To)), ReplaceExisting ? MOVEFILE_REPLACE_EXISTING : 0) !=
           0;
}

bool TLxFilefn::CopyToNewFile(WideStringView From, WideStringView To) {
    return CopyFileW(W(Ext(From)), W(Ext(To)), TRUE) != 0;
}

void* TLxFilefn::OpenDeletedOnClose(WideStringView Path) {
    SECURITY_ATTRIBUTES Inheritable{sizeof(Inheritable), nullptr, TRUE};
    const HANDLE File =
        CreateFileW(W(Ext(Path)), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    &Inheritable, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return File == INVALID_HANDLE_VALUE ? nullptr : File;
}

bool TLxFilefn::DeleteAtRestart(WideStringView Path) {
    return MoveFileExW(W(Ext(Path)), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}
