#include "WingetManifest.h"

#include "BuildError.h"
#include "CommandLine.h"
#include "LxStrUtils.h"
#include "ProjectRules.h"
#include "SetupProject.h"
#include "XmlScanner.h"

#include <cctype>
#include <system_error>

namespace {

constexpr std::string_view ManifestVersion = "1.10.0";
// The installer speaks Chinese: its description is in that locale.
constexpr std::string_view PackageLocale = "zh-CN";

// The installer's exit codes in silent and automatic mode, and what the package manager tells
// the user of each. The README's table of the installer's exit codes must match.
struct TExitCode {
    int Code;
    const char16_t* Response;
};
constexpr TExitCode InstallerExitCodes[] = {
    {1, u"contactSupport"},     // an error stopped it
    {2, u"contactSupport"},     // it stopped before its end for another reason
    {3, u"systemNotSupported"}, // Windows is older than the product needs
    {4, u"contactSupport"},     // the file carries no package
    {5, u"invalidParameter"},   // the installation folder was refused
    {6, u"noNetwork"},          // the download failed (mini installer)
    {7, u"contactSupport"},     // the downloaded installer was refused (pin or signature)
    {8, u"fileInUse"},          // a file could not be written and the installation stopped
};

[[noreturn]] void Refuse(WideStringView Why) {
    throw EUsageError{WideToUtf8(Why)};
}

// The manifest's lengths count characters, not UTF-16 units.
size_t Characters(WideStringView Text) {
    size_t Count = 0;
    for (const char16_t C : Text)
        Count += C < 0xDC00 || C > 0xDFFF;
    return Count;
}

// At most Max characters, a pair of surrogates kept whole.
WideString Cut(WideStringView Text, size_t Max) {
    size_t Count = 0, End = 0;
    for (; End < Text.size(); ++End) {
        const char16_t C = Text[End];
        if (C >= 0xDC00 && C <= 0xDFFF) continue;
        if (Count++ == Max) break;
    }
    return Trim(Text.substr(0, End));
}

// Refuses a text outside the lengths its field takes, naming the project's setting.
void Bounded(WideStringView Text, size_t Min, size_t Max, WideStringView Field,
             WideStringView Setting) {
    const size_t Length = Characters(Text);
    if (Length < Min || Length > Max)
        Refuse(FormatText(u"the winget manifest's %s takes %d to %d characters; the project's %s "
                          u"gives %d",
                          Field, int64_t(Min), int64_t(Max), Setting, int64_t(Length)));
}

// The blanks of the schema's patterns (\s).
bool IsBlank(char16_t C) {
    return (C >= 0x09 && C <= 0x0D) || C == 0x20 || C == 0xA0 || C == 0x1680 ||
           (C >= 0x2000 && C <= 0x200A) || C == 0x2028 || C == 0x2029 || C == 0x202F ||
           C == 0x205F || C == 0x3000 || C == 0xFEFF;
}

bool ForbiddenInVersion(char16_t C) {
    return C <= 0x1F || WideStringView(u"\\/:*?\"<>|").find(C) != WideStringView::npos;
}

bool ForbiddenInId(char16_t C) {
    return C == u'.' || IsBlank(C) || ForbiddenInVersion(C);
}

// Two to eight parts of 1 to 32 characters joined by dots, 128 characters at most.
bool IsWingetId(WideStringView Text) {
    if (Characters(Text) > 128) return false;
    size_t Parts = 0, Start = 0;
    for (size_t Dot = 0; Dot != WideStringView::npos; Start = Dot + 1) {
        Dot = Text.find(u'.', Start);
        const WideStringView Part =
            Text.substr(Start, Dot == WideStringView::npos ? Dot : Dot - Start);
        if (Characters(Part) < 1 || Characters(Part) > 32) return false;
        for (const char16_t C : Part)
            if (ForbiddenInId(C)) return false;
        ++Parts;
    }
    return Parts >= 2 && Parts <= 8;
}

WideString IdPart(WideStringView Text) {
    WideString Part;
    for (const char16_t C : Text)
        if (!ForbiddenInId(C)) Part += C;
    return Part;
}

// The licence decoded as the installer decodes it; nothing when it is in a code page, which
// only the user's system knows.
std::optional<WideString> DecodeLicence(const std::vector<uint8_t>& Bytes) {
    if (Bytes.size() >= 2 &&
        ((Bytes[0] == 0xFF && Bytes[1] == 0xFE) || (Bytes[0] == 0xFE && Bytes[1] == 0xFF))) {
        const bool Little = Bytes[0] == 0xFF;
        WideString Text;
        for (size_t I = 2; I + 1 < Bytes.size(); I += 2)
            Text += char16_t(Little ? Bytes[I] | Bytes[I + 1] << 8 : Bytes[I] << 8 | Bytes[I + 1]);
        return Text;
    }
    std::string_view Text(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
    if (Text.substr(0, 3) == "\xEF\xBB\xBF")
        Text.remove_prefix(3);
    else if (FirstInvalidUtf8(Text) != std::string_view::npos)
        return std::nullopt;
    return Utf8ToWide(Text);
}

WideString FirstLine(WideStringView Text) {
    for (size_t Start = 0; Start < Text.size();) {
        size_t End = Text.find_first_of(u"\r\n", Start);
        if (End == WideStringView::npos) End = Text.size();
        const WideString Line = Trim(Text.substr(Start, End - Start));
        if (!Line.empty()) return Line;
        Start = End + 1;
    }
    return {};
}

std::optional<WideString> LicenceLine(const fs::path& Project, const TSetupBaseInfo& Info) {
    if (Info.LicenseFile.empty()) return std::nullopt;
    const fs::path Path = ResolvePath(Project.parent_path(), Info.LicenseFile);
    if (!IsFile(Path)) return std::nullopt;
    const std::optional<WideString> Text = DecodeLicence(ReadWholeFile(Path));
    if (!Text) return std::nullopt;
    WideString Line = FirstLine(*Text);
    if (Line.empty()) return std::nullopt;
    return Line;
}

// A double-quoted YAML scalar: any text, with what YAML does not take as it is escaped.
std::string Quoted(WideStringView Text) {
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    WideString Result = u"\"";
    for (const char16_t C : Text) {
        if (C == u'"' || C == u'\\') {
            Result += u'\\';
            Result += C;
        } else if (C < 0x20 || (C >= 0x7F && C <= 0x9F) || C == 0x2028 || C == 0x2029 ||
                   C == 0xFEFF || C >= 0xFFFE) {
            Result += u"\\u";
            for (int Shift = 12; Shift >= 0; Shift -= 4)
                Result += Digits[(C >> Shift) & 15];
        } else {
            Result += C;
        }
    }
    return WideToUtf8(Result + u'"');
}

std::string Quoted(std::string_view Utf8) {
    return Quoted(Utf8ToWide(Utf8));
}

// "Name: value" after Prefix: "" at the top, "  " inside, "- " for the first of a list item.
void Field(std::string& Out, std::string_view Prefix, std::string_view Name,
           std::string_view Value) {
    Out.append(Prefix).append(Name).append(": ").append(Value) += '\n';
}

std::string Document(std::string_view Type, const TWingetPackage& Package) {
    std::string Out = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.";
    Out.append(Type).append(".").append(ManifestVersion).append(".schema.json\n\n");
    Field(Out, "", "PackageIdentifier", Quoted(Package.Id));
    Field(Out, "", "PackageVersion", Quoted(Package.Version));
    return Out;
}

std::string Finished(std::string Out, std::string_view Type) {
    Field(Out, "", "ManifestType", Quoted(Type));
    Field(Out, "", "ManifestVersion", Quoted(ManifestVersion));
    return Out;
}

std::string VersionManifest(const TWingetPackage& Package) {
    std::string Out = Document("version", Package);
    Field(Out, "", "DefaultLocale", Quoted(PackageLocale));
    return Finished(std::move(Out), "version");
}

std::string InstallerManifest(const TWingetPackage& Package, const TSha256::TDigest& Installer) {
    std::string Out = Document("installer", Package);
    Field(Out, "", "InstallerType", Quoted(u"exe"));
    Field(Out, "", "Scope", Quoted(u"machine"));
    Out += "InstallerSwitches:\n";
    Field(Out, "  ", "Silent", Quoted(u"/Silent"));
    Field(Out, "  ", "SilentWithProgress", Quoted(u"/Auto"));
    Field(Out, "  ", "InstallLocation", Quoted(u"/Dir=\"<INSTALLPATH>\""));
    Field(Out, "  ", "Log", Quoted(u"/Log=\"<LOGPATH>\""));
    Out += "ExpectedReturnCodes:\n";
    for (const TExitCode& Exit : InstallerExitCodes) {
        Field(Out, "- ", "InstallerReturnCode", std::to_string(Exit.Code));
        Field(Out, "  ", "ReturnResponse", Quoted(Exit.Response));
    }
    Field(Out, "", "ProductCode", Quoted(Package.ProductCode));
    Out += "AppsAndFeaturesEntries:\n";
    Field(Out, "- ", "DisplayName", Quoted(Package.DisplayName));
    Field(Out, "  ", "Publisher", Quoted(Package.DisplayPublisher));
    Field(Out, "  ", "DisplayVersion", Quoted(Package.DisplayVersion));
    Field(Out, "  ", "ProductCode", Quoted(Package.ProductCode));
    Out += "Installers:\n";
    Field(Out, "- ", "Architecture", Quoted(Package.Architecture));
    Field(Out, "  ", "InstallerUrl", Quoted(Package.InstallerUrl));
    std::string Digest = HexText(Installer.data(), Installer.size());
    for (char& C : Digest)
        C = char(std::toupper(static_cast<unsigned char>(C)));
    Field(Out, "  ", "InstallerSha256", Quoted(Digest));
    return Finished(std::move(Out), "installer");
}

std::string LocaleManifest(const TWingetPackage& Package) {
    std::string Out = Document("defaultLocale", Package);
    Field(Out, "", "PackageLocale", Quoted(PackageLocale));
    Field(Out, "", "Publisher", Quoted(Package.Publisher));
    if (!Package.PublisherUrl.empty()) Field(Out, "", "PublisherUrl", Quoted(Package.PublisherUrl));
    Field(Out, "", "PackageName", Quoted(Package.Name));
    // The project knows no product page but the company's: GotoUrl may carry tracking.
    if (!Package.PublisherUrl.empty()) Field(Out, "", "PackageUrl", Quoted(Package.PublisherUrl));
    Field(Out, "", "License", Quoted(Package.License));
    if (!Package.Copyright.empty()) Field(Out, "", "Copyright", Quoted(Package.Copyright));
    Field(Out, "", "ShortDescription", Quoted(Package.ShortDescription));
    return Finished(std::move(Out), "defaultLocale");
}

} // namespace

void CheckWingetRequest(const TWingetRequest& Request) {
    const WideString Url = Utf8ToWide(Request.InstallerUrl);
    if (!IsHttpAddress(Url) || Characters(Url) > 2048)
        throw EUsageError{"--winget-url takes the http:// or https:// address the full installer "
                          "is downloaded from"};
    if (Request.Id && !IsWingetId(Utf8ToWide(*Request.Id)))
        throw EUsageError{
            "--winget-id takes two to eight parts joined by dots (Publisher.Package), "
            "each of 1 to 32 characters without blanks or \\ / : * ? \" < > |"};
}

TWingetPackage DescribeWingetPackage(const fs::path& Project, const TWingetRequest& Request) {
    TSetupScript Script;
    try {
        Script.LoadFromFile(FromPath(Project));
    } catch (const Exception& Error) {
        RaiseBuildError(DisplayPath(Project), Error.Message());
    }
    const TSetupBaseInfo& Info = Script.BaseInfo();
    TWingetPackage Package;
    Package.Publisher = Trim(Info.CompanyName);
    if (Package.Publisher.empty())
        Refuse(u"the winget manifest needs the project's CompanyName: it is the Publisher, and the "
               u"first part of the package identifier unless --winget-id gives one");
    Bounded(Package.Publisher, 2, 256, u"Publisher", u"CompanyName");
    // As the installer's version resource names the product.
    Package.Name = Trim(Info.ProductName.empty() ? Info.AppTitle : Info.ProductName);
    Bounded(Package.Name, 2, 256, u"PackageName", u"ProductName (or AppTitle)");
    if (Request.Id) {
        Package.Id = Utf8ToWide(*Request.Id);
    } else {
        Package.Id = IdPart(Package.Publisher) + u"." + IdPart(Package.Name);
        if (!IsWingetId(Package.Id))
            Refuse(u"cannot make a winget package identifier of CompanyName '" + Package.Publisher +
                   u"' and ProductName '" + Package.Name +
                   u"' (1 to 32 characters each, without dots, blanks or \\ / : * ? \" < > |): "
                   u"give --winget-id Publisher.Package");
    }

    Package.Version = Trim(Info.Version);
    bool VersionFits = !Package.Version.empty() && Characters(Package.Version) <= 128;
    for (const char16_t C : Package.Version)
        VersionFits = VersionFits && !ForbiddenInVersion(C);
    if (!VersionFits)
        Refuse(u"the project's Version '" + Info.Version +
               u"' cannot be the winget manifest's PackageVersion (1 to 128 characters, none of "
               u"\\ / : * ? \" < > |)");

    const WideString Copyright = Trim(Info.LegalCopyright);
    Package.License = Cut(LicenceLine(Project, Info).value_or(Copyright), 512);
    if (Package.License.empty())
        Refuse(u"the winget manifest needs a License: the project has no LegalCopyright and no "
               u"LicenseFile whose first line the builder can read (UTF-8, or UTF-16 with its "
               u"byte-order mark)");
    Bounded(Package.License, 3, 512, u"License", u"licence or LegalCopyright");
    if (Characters(Copyright) >= 3) Package.Copyright = Cut(Copyright, 512);
    Package.ShortDescription =
        Cut(Trim(Info.InstallFileDescription.empty() ? Info.AppTitle : Info.InstallFileDescription),
            256);
    Bounded(Package.ShortDescription, 3, 256, u"ShortDescription",
            u"InstallFileDescription (or AppTitle)");
    const WideString Url = Trim(Info.CompanyUrl);
    if (IsHttpAddress(Url) && Characters(Url) <= 2048) Package.PublisherUrl = Url;

    // The entry's key is named by the product's GUID and this installer's suffix.
    const WideString Key = UninstallKeyPath(Info.GUID, OwnUninstallKeySuffix);
    Package.ProductCode = Key.substr(Key.rfind(u'\\') + 1);
    Package.DisplayName = FormatText(u"%s 版本 %s", Info.AppTitle, Info.Version);
    Bounded(Package.DisplayName, 1, 256, u"DisplayName", u"AppTitle and Version");
    Package.DisplayPublisher = Info.CompanyName;
    Package.DisplayVersion = Info.Version;
    Package.InstallerUrl = Request.InstallerUrl;
    Package.Architecture = Request.Architecture;
    return Package;
}

std::vector<fs::path> WriteWingetManifest(const TWingetPackage& Package,
                                          const TSha256::TDigest& Installer,
                                          const fs::path& Folder) {
    std::error_code Error;
    fs::create_directories(Folder, Error);
    if (!IsFolder(Folder)) RaiseBuildError(DisplayPath(Folder), u"cannot create the folder");
    const std::pair<WideString, std::string> Files[] = {
        {Package.Id + u".yaml", VersionManifest(Package)},
        {Package.Id + u".installer.yaml", InstallerManifest(Package, Installer)},
        {Package.Id + u".locale." + AsciiToWide(PackageLocale) + u".yaml", LocaleManifest(Package)},
    };
    std::vector<fs::path> Written;
    for (const auto& [Name, Text] : Files) {
        Written.push_back(Folder / ToPath(Name));
        WriteWholeFile(Written.back(), std::vector<uint8_t>(Text.begin(), Text.end()));
    }
    return Written;
}
