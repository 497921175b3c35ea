// The system folder: where system commands are started from and system DLLs are loaded from.

#include "LxSysUtils.h"
#include "LxWinHandles.h"

#include <algorithm>

void TLxSysfn::RestrictDllSearch() {
    BOOL(WINAPI * SetDirectories)(DWORD);
    if (Bind(GetModuleHandleW(L"kernel32.dll"), SetDirectories, "SetDefaultDllDirectories"))
        SetDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

WideString TLxSysfn::SystemFolderPath(WideStringView Name) {
    WideString Folder = ReadWinText(
        [](wchar_t* Buffer, uint32_t Size) { return GetSystemDirectoryW(Buffer, Size); });
    if (Folder.empty()) return {};
    if (Folder.back() != u'\\') Folder += u'\\';
    return Folder + WideString(Name);
}

WideString ReadWinText(TFunctionRef<uint32_t(wchar_t* Buffer, uint32_t Size)> Read) {
    WideString Text(260, u'\0');
    for (;;) {
        const size_t Length = Read(W(Text), uint32_t(Text.size()));
        if (Length == 0) return {};
        if (Length < Text.size()) {
            Text.resize(Length);
            return Text;
        }
        Text.resize(std::max(Length, Text.size() * 2));
    }
}

TLibraryHandle LoadSystemLibrary(WideStringView Name) {
    const WideString Path = TLxSysfn::SystemFolderPath(Name);
    if (Path.empty()) return {};
    // The DLL's own imports are searched from its folder first, which is the system folder.
    return TLibraryHandle(LoadLibraryExW(W(Path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}
