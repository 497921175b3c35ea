// What the uninstaller needs: its two data files in the installation folder and the product's
// entry in the system's list of installed programs.

#include "LxFileStream.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

#include <limits>

namespace {

void WriteStreamToFile(TMemoryStream& Stream, const WideString& FileName) {
    Stream.SetPosition(0);
    TFileStream File(FileName, fmCreate);
    File.WriteBuffer(Stream.Memory(), Stream.GetSize());
}

class TUninstallKey {
public:
    explicit TUninstallKey(HKEY Key) : FKey(Key) {}
    ~TUninstallKey() { RegCloseKey(FKey); }
    TUninstallKey(const TUninstallKey&) = delete;
    TUninstallKey& operator=(const TUninstallKey&) = delete;

    // Unicode strings: a title in any script reaches the list of installed programs intact.
    void Text(const wchar_t* Name, const WideString& Value) {
        Set(Name, REG_SZ, Value.c_str(), DWORD((Value.size() + 1) * sizeof(char16_t)));
    }
    void Number(const wchar_t* Name, DWORD Value) { Set(Name, REG_DWORD, &Value, sizeof(Value)); }

private:
    void Set(const wchar_t* Name, DWORD Type, const void* Data, DWORD Size) {
        if (RegSetValueExW(FKey, Name, 0, Type, static_cast<const BYTE*>(Data), Size) !=
            ERROR_SUCCESS)
            throw Exception(FormatText(u"Failed to set data for '%s'", FromW(Name)));
    }
    HKEY FKey;
};

} // namespace

void TMainForm::WriteUninstallData() {
    const bool Plain = TLxSysfn::IsDeveloperMode();
    LX_ASSERT(imgIcon->Picture && !imgIcon->Picture->Empty());
    TMemoryStream Stream;
    FScript->SaveToStream(Stream, 0);
    if (!Plain) TSetupfn::EncodeStream(Stream);
    WriteStreamToFile(Stream, SetupAppDir + u"Uninstall.da1");

    Stream.Clear();
    const std::vector<uint8_t> Png = imgIcon->Picture->SaveToBytes();
    Stream.WriteBuffer(Png.data(), int64_t(Png.size()));
    if (!Plain) TSetupfn::EncodeStream(Stream);
    WriteStreamToFile(Stream, SetupAppDir + u"Uninstall.da2");
}

void TMainForm::RegisterUninstall() {
    const TSetupBaseInfo& Info = FScript->BaseInfo();
    const TSetupBaseInfo::TVersionNumbers Version = Info.GetVersionNumbers();
    // Summed wide: a package of 2 GiB and more still gets a size, the largest one that fits.
    int64_t Total = 0;
    for (int I = 0; I < FScript->FileList().Count(); ++I)
        Total += FScript->FileList().Items(I)->FileBytes;
    const int64_t Kilobytes = Total < 0 ? 0 : Total / 1024;
    const DWORD EstimatedSize =
        DWORD(std::min<int64_t>(Kilobytes, std::numeric_limits<DWORD>::max()));

    const WideString KeyName =
        FormatText(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s_vm", Info.GUID);
    HKEY Handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(KeyName), 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &Handle,
                        nullptr) != ERROR_SUCCESS)
        return;
    TUninstallKey Key(Handle);
    SYSTEMTIME Today;
    GetLocalTime(&Today);
    wchar_t Date[16];
    wsprintfW(Date, L"%04u%02u%02u", Today.wYear, Today.wMonth, Today.wDay);
    const WideString Uninstaller =
        FormatText(u"\"%s\\Uninstall.exe\"", ExcludeTrailingBackslash(SetupAppDir));

    Key.Text(L"DisplayName", FormatText(u"%s 版本 %s", Info.AppTitle, Info.Version));
    Key.Text(L"DisplayVersion", Info.Version);
    Key.Number(L"EstimatedSize", EstimatedSize);
    Key.Text(L"HelpLink", Info.CompanyUrl);
    Key.Text(L"InstallDate", FromW(Date));
    Key.Text(L"InstallLocation", SetupAppDir);
    Key.Number(L"MajorVersion", DWORD(Version.Major));
    Key.Number(L"MinorVersion", DWORD(Version.Minor));
    Key.Number(L"NoModify", 1);
    Key.Number(L"NoRepair", 1);
    Key.Text(L"Publisher", Info.CompanyName);
    Key.Text(L"QuietUninstallString", Uninstaller + u" /SILENT");
    Key.Text(L"UninstallString", Uninstaller);
    Key.Text(L"URLInfoAbout", Info.CompanyUrl);
    Key.Text(L"URLUpdateInfo", Info.CompanyUrl);
    Key.Number(L"VersionMajor", DWORD(Version.Major));
    Key.Number(L"VersionMinor", DWORD(Version.Minor));
}
