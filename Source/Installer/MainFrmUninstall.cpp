// What the uninstaller needs: its two data files in the installation folder and the product's
// entry in the system's list of installed programs.

#include "LxFileStream.h"
#include "LxLog.h"
#include "LxRegistry.h"
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
    const uint32_t EstimatedSize =
        uint32_t(std::min<int64_t>(Kilobytes, std::numeric_limits<uint32_t>::max()));

    // Unicode strings: a title in any script reaches the list of installed programs intact.
    TLxRegistryKey Key = TLxRegistryKey::Create(HKEY_LOCAL_MACHINE_VALUE,
                                                UninstallKeyPath(Info.GUID, OwnUninstallKeySuffix));
    if (!Key) {
        LxLog::Write(u"Uninstall entry not created");
        return;
    }
    SYSTEMTIME Today;
    GetLocalTime(&Today);
    wchar_t Date[16];
    wsprintfW(Date, L"%04u%02u%02u", Today.wYear, Today.wMonth, Today.wDay);
    const WideString Uninstaller =
        FormatText(u"\"%s\\Uninstall.exe\"", ExcludeTrailingBackslash(SetupAppDir));

    Key.WriteString(u"DisplayName", FormatText(u"%s 版本 %s", Info.AppTitle, Info.Version));
    Key.WriteString(u"DisplayVersion", Info.Version);
    Key.WriteDWord(u"EstimatedSize", EstimatedSize);
    Key.WriteString(u"HelpLink", Info.CompanyUrl);
    Key.WriteString(u"InstallDate", FromW(Date));
    Key.WriteString(u"InstallLocation", SetupAppDir);
    Key.WriteDWord(u"MajorVersion", uint32_t(Version.Major));
    Key.WriteDWord(u"MinorVersion", uint32_t(Version.Minor));
    Key.WriteDWord(u"NoModify", 1);
    Key.WriteDWord(u"NoRepair", 1);
    Key.WriteString(u"Publisher", Info.CompanyName);
    Key.WriteString(u"QuietUninstallString", Uninstaller + u" /SILENT");
    Key.WriteString(u"UninstallString", Uninstaller);
    Key.WriteString(u"URLInfoAbout", Info.CompanyUrl);
    Key.WriteString(u"URLUpdateInfo", Info.CompanyUrl);
    Key.WriteDWord(u"VersionMajor", uint32_t(Version.Major));
    Key.WriteDWord(u"VersionMinor", uint32_t(Version.Minor));
    LxLog::Write(u"Uninstall entry: HKLM\\%s, %s",
                 UninstallKeyPath(Info.GUID, OwnUninstallKeySuffix), Uninstaller);
}
