// Before writing anything: the older installation's quiet uninstall, then every running copy
// of the package's programs ended.

#include "Application.h"
#include "LxPlatform.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MainFrm.h"

namespace {

const char16_t UninstallRoot[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// "QuietUninstallString" of a key in the 32-bit view; empty when the key or value is missing.
// A value of another type than a string is a broken registry and raises.
WideString QuietUninstallString(const WideString& Key) {
    HKEY Handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(Key), 0, KEY_READ | KEY_WOW64_32KEY, &Handle) !=
        ERROR_SUCCESS)
        return {};
    struct TClose {
        HKEY Handle;
        ~TClose() { RegCloseKey(Handle); }
    } Close{Handle};
    DWORD Type = 0, Size = 0;
    if (RegQueryValueExW(Handle, L"QuietUninstallString", nullptr, &Type, nullptr, &Size) !=
        ERROR_SUCCESS)
        return {};
    if (Type != REG_SZ && Type != REG_EXPAND_SZ)
        throw Exception(u"Invalid data type for 'QuietUninstallString'");
    std::wstring Buffer(Size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(Handle, L"QuietUninstallString", nullptr, &Type,
                         reinterpret_cast<BYTE*>(Buffer.data()), &Size) != ERROR_SUCCESS)
        return {};
    return FromW(Buffer.c_str());
}

} // namespace

void TMainForm::UninstallOldVersion() {
    const WideString& Guid = FScript->BaseInfo().GUID;
    for (const char16_t* Format : {u"%s\\%s_is1", u"%s\\%s_vm"}) {
        const WideString Command = QuietUninstallString(FormatText(Format, UninstallRoot, Guid));
        if (Command.empty()) continue;
        Application.SetBusyCursor(true);
        struct TRestore {
            ~TRestore() { Application.SetBusyCursor(false); }
        } Restore;
        TLxWinfn::RunAndWait(Command);
        Sleep(2000);
    }
}

void TMainForm::KillRunningPrograms() {
    const WideString Own = ExtractFileName(ParamStr(0));
    // The system's own taskkill, never one found through the search path.
    const WideString TaskKill = TLxSysfn::SystemFolderPath(u"taskkill.exe");
    const TSetupFileList& Files = FScript->FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const WideString Name = ExtractFileName(Files.Items(I)->SourceMask);
        if (!SameText(ExtractFileExt(Name), u".exe") || SameText(Name, Own)) continue;
        TLxWinfn::RunCaptured(FormatText(u"\"%s\" /F /IM %s", TaskKill, Name));
        Sleep(300);
    }
}
