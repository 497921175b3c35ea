#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "LxPlatform.h"
#include "Package/BuildProject.h"
#include "Package/Sha256.h"
#include "Package/WingetManifest.h"
#include "Pe/PeImage.h"
#include "Sign/CommandTemplate.h"
#include "StubLocator.h"

const TCommand BuildCommand = {
    "build", "build the installers of a project",
    "usage: onesetup build PROJECT.xml [options]\n"
    "\n"
    "Builds the full installer named by the project's FullSetupFile and, when BuildMiniSetup\n"
    "is set, the mini installer named by MiniSetupFile. File items name their sources with\n"
    "SourcePath (a folder, relative to the project) and SourceMask (a name or a mask with * and\n"
    "?); IncludeSubPath also searches sub-folders. The project is checked first as 'onesetup\n"
    "check' does; nothing is built when it has an error.\n"
    "\n"
    "options:\n"
    "  -o, --output DIR   write the installers into DIR (default: the project's folder)\n"
    "  --arch x86|x64     the installer stub to use (default: x86, the release installer)\n"
    "  --stub PATH        use this installer stub instead\n"
    "  --uninstaller PATH the uninstaller installed as {app}\\Uninstall.exe (default: the one\n"
    "                     of the stub's architecture; a project that installs its own keeps it)\n"
    "  -j, --jobs N       encode on N threads (default: every core)\n"
    "  --compression zlib|zstd\n"
    "                     zlib (the default): each file its own zlib stream; zstd: the files\n"
    "                     compressed together in solid blocks, often less than half the size\n"
    "  -l, --level N      compression level: zlib 1 to 12 (default 7), zstd 1 to 22 (default\n"
    "                     19); higher is slower and smaller\n"
    "  --sign CERT.pfx    sign the uninstaller added, the full and the mini installer with\n"
    "                     this certificate and its key (PKCS#12), through osslsigncode; without\n"
    "                     --timestamp the same inputs give the same bytes\n"
    "  --sign-pkcs11 URI  sign them with the key of a token or HSM, named by its RFC 7512 URI\n"
    "                     (pkcs11:token=...;object=...), through osslsigncode\n"
    "  --pkcs11-module LIB  the token's PKCS#11 library (with --sign-pkcs11)\n"
    "  --sign-cert CERT   the certificate and its chain, PEM or DER (with --sign-pkcs11; by\n"
    "                     default the token's certificate of the same object)\n"
    "  --sign-command 'TOOL ARG... {file}'\n"
    "                     sign them with this command, split as a shell splits it and run\n"
    "                     without one; {file} is the program it signs in place\n"
    "  --sign-password-file FILE\n"
    "                     the file that holds the certificate's password or the token's PIN\n"
    "                     (a line end after it is not part of it)\n"
    "  --timestamp URL    time-stamp the signatures at this RFC 3161 service, so that they\n"
    "                     stay valid after the certificate expires (not with --sign-command)\n"
    "  --no-pin           do not record the full installer's SHA-256 in the mini installer,\n"
    "                     which then installs whatever FullDownloadUrl serves (checked only\n"
    "                     by its signature when signed)\n"
    "  --winget DIR       also write a manifest of the full installer for the Windows package\n"
    "                     manager (winget) into DIR: ID.yaml, ID.installer.yaml and\n"
    "                     ID.locale.zh-CN.yaml, with the SHA-256 of the file as written\n"
    "  --winget-url URL   the http:// or https:// address the full installer is downloaded\n"
    "                     from (with --winget)\n"
    "  --winget-id ID     the package identifier, such as Publisher.Product (default: the\n"
    "                     project's CompanyName.ProductName without blanks and dots)\n"
    "  --werror           treat the check's warnings as errors\n"
    "  -q, --quiet        print nothing but problems",
    RunBuild};

namespace {

// The architecture of a stub, from its headers.
std::string StubArch(const fs::path& Stub) {
    return TPeImage(ReadWholeFile(Stub), DisplayPath(Stub)).Is64() ? "x64" : "x86";
}

int ParseNumber(const std::string& Text, int Min, int Max, const char* Option) {
    int32_t Value = 0;
    if (!TryStrToInt(Utf8ToWide(Text), Value) || Value < Min || Value > Max)
        throw EUsageError{std::string(Option) + " takes a number from " + std::to_string(Min) +
                          " to " + std::to_string(Max)};
    return Value;
}

// The one way of signing the options name, or none.
std::optional<TSignRequest> SignRequest(const TCommandLine& Line) {
    const auto Pfx = Line.Value("--sign"), Uri = Line.Value("--sign-pkcs11"),
               Command = Line.Value("--sign-command");
    if (int(bool(Pfx)) + int(bool(Uri)) + int(bool(Command)) > 1)
        throw EUsageError{"--sign, --sign-pkcs11 and --sign-command are three ways to sign: give "
                          "one"};
    if (!Uri && (Line.Value("--pkcs11-module") || Line.Value("--sign-cert")))
        throw EUsageError{"--pkcs11-module and --sign-cert go with --sign-pkcs11"};
    if (!Pfx && !Uri && (Line.Value("--sign-password-file") || Line.Value("--timestamp")))
        throw EUsageError{"--sign-password-file and --timestamp go with --sign or --sign-pkcs11"};
    if (!Pfx && !Uri && !Command) return std::nullopt;
    TSignRequest Sign;
    if (Command) {
        Sign.Method = TSignMethod::Command;
        Sign.Command = *Command;
        // Its mistakes are the command line's: found before anything else.
        WithFile(SplitCommandTemplate(Utf8ToWide(*Command),
                                      [](const WideString&) { return WideString(); }),
                 u"");
        return Sign;
    }
    if (Uri) {
        Sign.Method = TSignMethod::Token;
        if (Uri->rfind("pkcs11:", 0) != 0)
            throw EUsageError{"--sign-pkcs11 takes a PKCS#11 URI, such as "
                              "pkcs11:token=Vendor;object=signing-key"};
        Sign.KeyUri = *Uri;
        const auto Module = Line.Value("--pkcs11-module");
        if (!Module) throw EUsageError{"--sign-pkcs11 needs --pkcs11-module, the token's library"};
        Sign.Module = PathFromArgument(*Module);
        if (auto Certificate = Line.Value("--sign-cert"))
            Sign.Certificate = PathFromArgument(*Certificate);
    } else {
        Sign.Certificate = PathFromArgument(*Pfx);
    }
    if (auto Password = Line.Value("--sign-password-file"))
        Sign.PasswordFile = PathFromArgument(*Password);
    Sign.TimestampUrl = Line.Value("--timestamp").value_or("");
    if (!Sign.TimestampUrl.empty() && Sign.TimestampUrl.rfind("http://", 0) != 0 &&
        Sign.TimestampUrl.rfind("https://", 0) != 0)
        throw EUsageError{"--timestamp takes an http:// or https:// address"};
    return Sign;
}

// The manifest the options ask for, or none; its architecture is the stub's, found later.
std::optional<TWingetRequest> WingetRequest(const TCommandLine& Line) {
    const auto Folder = Line.Value("--winget"), Url = Line.Value("--winget-url");
    const auto Id = Line.Value("--winget-id");
    if (!Folder && !Url && !Id) return std::nullopt;
    if (!Folder) throw EUsageError{"--winget-url and --winget-id go with --winget"};
    if (!Url)
        throw EUsageError{"--winget needs --winget-url, the address the full installer is "
                          "downloaded from"};
    TWingetRequest Request{PathFromArgument(*Folder), *Url, Id, ""};
    CheckWingetRequest(Request);
    return Request;
}

} // namespace

int RunBuild(const TArguments& Arguments) {
    const TCommandLine Line(Arguments,
                            {"-o",
                             "--output",
                             "--arch",
                             "--stub",
                             "--uninstaller",
                             "-j",
                             "--jobs",
                             "--compression",
                             "-l",
                             "--level",
                             "--sign",
                             "--sign-pkcs11",
                             "--pkcs11-module",
                             "--sign-cert",
                             "--sign-command",
                             "--sign-password-file",
                             "--timestamp",
                             "--winget",
                             "--winget-url",
                             "--winget-id"},
                            {"-q", "--quiet", "--werror", "--no-pin"});
    Line.ExpectPositional(1, 1, "PROJECT.xml");
    const bool Quiet = Line.Flag("-q") || Line.Flag("--quiet");
    std::optional<TWingetRequest> Winget = WingetRequest(Line);

    TBuildRequest Request;
    Request.Project = PathFromArgument(Line.Positional()[0]);
    if (auto Output = Line.Value("-o") ? Line.Value("-o") : Line.Value("--output"))
        Request.OutputDir = PathFromArgument(*Output);
    const std::string Arch = Line.Value("--arch").value_or("x86");
    if (Arch != "x86" && Arch != "x64") throw EUsageError{"--arch takes x86 or x64"};
    TFoundProgram Stub, Uninstaller;
    if (auto Given = Line.Value("--stub"))
        Stub.Path = PathFromArgument(*Given);
    else
        Stub = FindDefaultStub(Arch);
    if (auto Given = Line.Value("--uninstaller"))
        Uninstaller.Path = PathFromArgument(*Given);
    else
        Uninstaller = FindUninstaller(StubArch(Stub.Path), Stub);
    Request.Stub = Stub.Path;
    Request.Uninstaller = Uninstaller.Path;
    // Not the C++ library's count: MinGW's gives 0, and the Windows builder ran on one thread.
    Request.Jobs = PlatformProcessorCount();
    if (auto Jobs = Line.Value("-j") ? Line.Value("-j") : Line.Value("--jobs")) {
        Request.Jobs = ParseNumber(*Jobs, 1, 256, "--jobs");
    }
    const std::string Compression = Line.Value("--compression").value_or("zlib");
    if (Compression != "zlib" && Compression != "zstd")
        throw EUsageError{"--compression takes zlib or zstd"};
    Request.Solid = Compression == "zstd";
    if (auto Level = Line.Value("-l") ? Line.Value("-l") : Line.Value("--level")) {
        Request.Level = ParseNumber(*Level, 1, Request.Solid ? 22 : 12, "--level");
    }
    Request.ShowProgress = !Quiet;
    Request.Sign = SignRequest(Line);
    Request.PinFullSetup = !Line.Flag("--no-pin");
    if (Winget) Winget->Architecture = StubArch(Stub.Path);

    if (!ReportProjectCheck(Request.Project, Line.Flag("--werror"), true)) {
        PrintError(u"onesetup build: " + DisplayPath(Request.Project) +
                   u" has errors: nothing built");
        return 1;
    }

    // What the manifest needs of the project is asked for before the long work.
    std::optional<TWingetPackage> Package;
    if (Winget) Package = DescribeWingetPackage(Request.Project, *Winget);

    const TBuildReport Report = BuildProject(Request);
    // Hashed last, from the file as written and signed.
    if (Package) WriteWingetManifest(*Package, FileSha256(Report.FullSetup), Winget->Folder);
    const bool Signed = !Report.Signer.empty();
    const WideString SignedText = Signed ? u"signed" : u"not signed";
    if (!Quiet) {
        PrintLine(FormatText(u"%s: %d bytes (%d files, %d bytes, stored in %d bytes; %s)",
                             DisplayPath(Report.FullSetup), int64_t(Report.FullSize),
                             int64_t(Report.Files), int64_t(Report.PlainBytes),
                             int64_t(Report.StoredBytes), Report.Engine));
        PrintLine(u"  stub: " + ProgramOrigin(Stub));
        PrintLine(Report.UninstallerAdded
                      ? u"  uninstaller: " + ProgramOrigin(Uninstaller) +
                            u", added as {app}\\Uninstall.exe, " + SignedText
                      : WideString(u"  uninstaller: the project's own {app}\\Uninstall.exe"));
        if (Signed)
            PrintLine(u"  signed by " + Report.Signer +
                      (Report.SignMethod == TSignMethod::Command
                           ? u" (SHA-256, by the signing command)"
                       : Report.Timestamped ? u" (SHA-256, time-stamped)"
                                            : u" (SHA-256, not time-stamped)"));
        else
            PrintLine(std::string_view("  not signed"));
        if (!Report.MiniSetup.empty()) {
            PrintLine(FormatText(u"%s: %d bytes (mini installer, %s)",
                                 DisplayPath(Report.MiniSetup), int64_t(Report.MiniSize),
                                 SignedText));
            if (Report.PinnedDigest)
                PrintLine("  pins the full installer, SHA-256 " +
                          HexText(Report.PinnedDigest->data(), Report.PinnedDigest->size()));
        }
        if (Package)
            PrintLine(DisplayPath(Winget->Folder) + u": winget manifest of " + Package->Id + u" " +
                      Package->Version + u", " + DisplayPath(Report.FullSetup) +
                      u" downloaded from " + Utf8ToWide(Package->InstallerUrl));
    }
    if (!Report.MiniSetup.empty() && !Report.PinnedDigest) {
        PrintError(u"onesetup build: warning: --no-pin: " + DisplayPath(Report.MiniSetup) +
                   u" will install whatever " + Report.FullDownloadUrl + u" serves" +
                   (Signed ? u"; the check of its signature still applies"
                           : u", unless it is signed (--sign, --sign-pkcs11 or --sign-command)"));
    }
    return 0;
}
