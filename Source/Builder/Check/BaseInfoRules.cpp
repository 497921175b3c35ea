#include "BuildError.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "Pe/IconResource.h"
#include "ProjectRules.h"

#include <algorithm>
#include <optional>

bool IsGuidText(WideStringView Text) {
    if (Text.size() != 38 || Text.front() != u'{' || Text.back() != u'}') return false;
    for (size_t I = 1; I < 37; ++I) {
        const char16_t C = Text[I];
        const bool Dash = I == 9 || I == 14 || I == 19 || I == 24;
        const bool Hex =
            (C >= u'0' && C <= u'9') || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
        if (Dash ? C != u'-' : !Hex) return false;
    }
    return true;
}

bool IsHttpAddress(WideStringView Text) {
    for (const WideStringView Scheme : {u"http://", u"https://"})
        if (Text.size() > Scheme.size() && SameText(Text.substr(0, Scheme.size()), Scheme))
            return Text[Scheme.size()] != u'/' &&
                   Text.find_first_of(u" \t\r\n") == WideStringView::npos;
    return false;
}

namespace {

void CheckVersion(const TProjectFacts& F, const TSetupBaseInfo& Info) {
    const TSourcePos Pos = F.Source.PosOf(Info, u"Version");
    // The version is display text; only the entry's two DWORDs come from its leading digits.
    const TSetupBaseInfo::TVersionNumbers N = Info.GetVersionNumbers();
    const WideString Registered =
        FormatText(u"MajorVersion %d, MinorVersion %d", uint32_t(N.Major), uint32_t(N.Minor));
    if (Trim(Info.Version).empty()) {
        F.Diagnostics.Warning(Pos, u"BaseInfo has no Version: the uninstall entry shows none and "
                                   u"registers " +
                                       Registered + u"; add for example Version=\"1.0.0.0\"");
        return;
    }
    std::vector<WideString> Parts(1);
    for (const char16_t C : Info.Version)
        if (C == u'.')
            Parts.emplace_back();
        else
            Parts.back() += C;
    bool Plain = true;
    for (size_t I = 0; I < Parts.size() && I < 4; ++I) {
        int32_t Number;
        Plain = Plain && TryStrToInt(Parts[I], Number) &&
                std::all_of(Parts[I].begin(), Parts[I].end(),
                            [](char16_t C) { return C >= u'0' && C <= u'9'; });
    }
    if (!Plain)
        F.Diagnostics.Warning(Pos, u"'" + Info.Version +
                                       u"' is not only numbers: the uninstall entry shows it as "
                                       u"written and registers " +
                                       Registered);
    else if (Parts.size() > 4)
        F.Diagnostics.Warning(Pos,
                              u"'" + Info.Version +
                                  u"' has more than four parts: the installer ignores the rest");
}

// Why the bytes are no text the licence window can show as meant; empty when they are.
WideString LicenceProblem(const std::vector<uint8_t>& Bytes, bool& Warning) {
    Warning = false;
    const bool Utf16 = Bytes.size() >= 2 && ((Bytes[0] == 0xFF && Bytes[1] == 0xFE) ||
                                             (Bytes[0] == 0xFE && Bytes[1] == 0xFF));
    if (Utf16) {
        Warning = Bytes.size() % 2 != 0;
        return Warning ? u"is UTF-16 of an odd length: the installer drops its last byte" : u"";
    }
    const bool Bom = Bytes.size() >= 3 && Bytes[0] == 0xEF && Bytes[1] == 0xBB && Bytes[2] == 0xBF;
    bool Ascii = true;
    for (const uint8_t Byte : Bytes) {
        if (Byte < 0x20 && Byte != '\t' && Byte != '\n' && Byte != '\r' && Byte != '\f')
            return u"is not text (it holds control bytes such as NUL)";
        Ascii = Ascii && Byte < 0x80;
    }
    const std::string_view Text(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
    const bool Utf8 = FirstInvalidUtf8(Text) == std::string_view::npos;
    if (Bom && !Utf8) return u"is not text (not UTF-8 after its byte-order mark)";
    if (Bom || Ascii || !Utf8) return u""; // without a mark: the system's code page, as meant
    Warning = true;
    return u"is UTF-8 without a byte-order mark: the installer reads it in the system's code "
           u"page; save it with a byte-order mark";
}

// The bytes of a part the project names, or none after reporting that it is missing.
std::optional<std::vector<uint8_t>> ReadPart(const TProjectFacts& F, const TSetupBaseInfo& Info,
                                             WideStringView Property, const WideString& Name) {
    const fs::path Path = ResolvePath(F.ProjectDir, Name);
    if (!IsFile(Path)) {
        F.Diagnostics.Error(F.Source.PosOf(Info, Property), u"'" + Name + u"' does not exist");
        return std::nullopt;
    }
    try {
        return ReadWholeFile(Path);
    } catch (const EBuildError& Error) {
        F.Diagnostics.Error(F.Source.PosOf(Info, Property), Error.Message());
        return std::nullopt;
    }
}

} // namespace

void CheckBaseInfo(const TProjectFacts& F) {
    const TSetupBaseInfo& Info = F.Script.BaseInfo();
    const TScriptSource& S = F.Source;
    TDiagnostics& D = F.Diagnostics;
    if (!S.AttributeOf(Info, u"GUID") || Trim(Info.GUID).empty())
        D.Error(S.PosOf(Info, u"GUID"),
                u"BaseInfo has no GUID: it names the product's uninstall entry and must stay the "
                u"same from one version to the next; add for example GUID=\"" +
                    TLxStrfn::NewGUIDString() + u"\"");
    else if (!IsGuidText(Info.GUID))
        D.Error(S.PosOf(Info, u"GUID"),
                u"'" + Info.GUID +
                    u"' is not a GUID such as {0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}");
    if (Info.AppTitle.empty()) D.Error(S.PosOf(Info, u"AppTitle"), u"BaseInfo has no AppTitle");
    CheckVersion(F, Info);
    if (uint32_t(Info.MainFormColor) > 0xFFFFFF)
        D.Error(S.PosOf(Info, u"MainFormColor"),
                FormatText(u"%d is not a colour: write a number from 0 to $FFFFFF (0xBBGGRR)",
                           Info.MainFormColor));

    if (Info.BuildMiniSetup && Trim(Info.FullDownloadUrl).empty())
        D.Error(S.PosOf(Info, u"BuildMiniSetup"),
                u"BuildMiniSetup is set but FullDownloadUrl is empty: the mini installer would "
                u"have nothing to download");
    else if (Info.BuildMiniSetup && !IsHttpAddress(Info.FullDownloadUrl))
        D.Error(S.PosOf(Info, u"FullDownloadUrl"),
                u"'" + Info.FullDownloadUrl + u"' is not an HTTP or HTTPS address");
    if (Info.BuildMiniSetup && !Trim(Info.MiniSetupFile).empty() &&
        SameText(Trim(Info.MiniSetupFile), Trim(Info.FullSetupFile)))
        D.Error(S.PosOf(Info, u"MiniSetupFile"),
                u"FullSetupFile and MiniSetupFile name the same file");

    if (!Info.IconFile.empty())
        if (const auto Icon = ReadPart(F, Info, u"IconFile", Info.IconFile)) {
            const WideString Problem = PngProblem(*Icon);
            if (!Problem.empty())
                D.Error(S.PosOf(Info, u"IconFile"), u"'" + Info.IconFile + u"': " + Problem);
        }
    if (!Info.LicenseFile.empty()) {
        if (const auto Licence = ReadPart(F, Info, u"LicenseFile", Info.LicenseFile)) {
            bool Warning;
            const WideString Problem = LicenceProblem(*Licence, Warning);
            const WideString Message = u"'" + Info.LicenseFile + u"' " + Problem;
            if (!Problem.empty() && Warning)
                D.Warning(S.PosOf(Info, u"LicenseFile"), Message);
            else if (!Problem.empty())
                D.Error(S.PosOf(Info, u"LicenseFile"), Message);
        }
    } else if (!Info.LicenseResID.empty()) {
        D.Error(S.PosOf(Info, u"LicenseResID"),
                u"LicenseResID names a licence but there is no LicenseFile");
    }
}
