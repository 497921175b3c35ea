#include "CodeSigner.h"

#include "BuildError.h"
#include "CommandTemplate.h"
#include "LxDateUtils.h"
#include "LxStrUtils.h"
#include "RunProgram.h"

#include <cstdlib>
#include <ctime>
#include <fstream>

namespace {

WideString DateText(int64_t Seconds) {
    const int64_t Days = Seconds >= 0 ? Seconds / 86400 : (Seconds - 86399) / 86400;
    int64_t Year = 0;
    unsigned Month = 0, Day = 0;
    CivilFromDays(Days, Year, Month, Day);
    char Text[32];
    std::snprintf(Text, sizeof(Text), "%04lld-%02u-%02u", static_cast<long long>(Year), Month, Day);
    return AsciiToWide(Text);
}

std::vector<WideString> Lines(const std::string& Output) {
    std::vector<WideString> Result;
    size_t Start = 0;
    while (Start < Output.size()) {
        size_t End = Output.find('\n', Start);
        if (End == std::string::npos) End = Output.size();
        const WideString Line =
            Trim(Utf8ToWide(std::string_view(Output).substr(Start, End - Start)));
        Start = End + 1;
        if (!Line.empty()) Result.push_back(Line);
    }
    return Result;
}

// The reason of the first OpenSSL error ("HEX:error:CODE:LIBRARY:FUNCTION:REASON:FILE:LINE:"),
// where the failure began; empty when there is none.
WideString FirstLibraryReason(const std::vector<WideString>& Output) {
    for (const WideString& Line : Output) {
        if (Line.find(u":error:") == WideString::npos) continue;
        std::vector<WideString> Fields(1);
        for (const char16_t C : Line)
            if (C == u':')
                Fields.emplace_back();
            else
                Fields.back() += C;
        if (Fields.size() >= 6) return Fields[5];
    }
    return {};
}

// The signer's line that says what failed; the library's traces and a bare "Failed" follow it.
WideString Reason(const std::string& Output) {
    const std::vector<WideString> All = Lines(Output);
    const WideString Library = FirstLibraryReason(All);
    if (!Library.empty()) return Library;
    WideString First;
    for (const WideString& Line : All) {
        if (Line == u"Failed" || Line.rfind(u"Engine \"", 0) == 0) continue;
        if (Line.find(u"ail") != WideString::npos) return Line;
        if (First.empty()) First = Line;
    }
    return First.empty() ? WideString(u"no message") : First;
}

bool Has(const WideString& Text, WideStringView Part) {
    return Text.find(Part) != WideString::npos;
}

bool Readable(const fs::path& Path) {
    return fs::is_regular_file(Path) && std::ifstream(Path, std::ios::binary).good();
}

// The certificate beside a token's key: the same object, of the certificate type.
std::string CertificateUri(const std::string& KeyUri) {
    std::string Uri = KeyUri;
    const size_t Type = Uri.find("type=");
    if (Type != std::string::npos) {
        const size_t End = Uri.find_first_of(";?", Type);
        Uri.replace(Type, (End == std::string::npos ? Uri.size() : End) - Type, "type=cert");
        return Uri;
    }
    const size_t Query = Uri.find('?');
    Uri.insert(Query == std::string::npos ? Uri.size() : Query, ";type=cert");
    return Uri;
}

std::optional<WideString> EnvironmentVariable(const WideString& Name) {
    const char* Value = std::getenv(WideToUtf8(Name).c_str());
    if (!Value) return std::nullopt;
    return Utf8ToWide(Value);
}

// A signer that gives no time would make an installer that fails on every machine.
void CheckValidity(const TCodeSignature& Signature, WideStringView Certificate) {
    const int64_t Now = int64_t(std::time(nullptr));
    if (Now > Signature.NotAfter)
        RaiseBuildError(Certificate, u"the certificate expired on " + DateText(Signature.NotAfter));
    if (Now < Signature.NotBefore)
        RaiseBuildError(Certificate,
                        u"the certificate is not valid before " + DateText(Signature.NotBefore));
}

} // namespace

TCodeSigner::TCodeSigner(TSignRequest Request, const std::vector<uint8_t>& Probe,
                         const fs::path& Scratch)
    : FRequest(std::move(Request)) {
    if (FRequest.PasswordFile && !Readable(*FRequest.PasswordFile))
        RaiseBuildError(DisplayPath(*FRequest.PasswordFile),
                        FRequest.Method == TSignMethod::Token ? u"cannot read the PIN file"
                                                              : u"cannot read the password file");
    if (FRequest.Method == TSignMethod::Command) {
        FCommandWords = SplitCommandTemplate(Utf8ToWide(FRequest.Command), EnvironmentVariable);
        WithFile(FCommandWords, u"");
        const fs::path Tool = ToPath(FCommandWords[0]);
        FProgram = Tool.has_parent_path() ? Tool : FindOnPath(WideToUtf8(FCommandWords[0]));
        if (FProgram.empty() || !fs::is_regular_file(FProgram))
            RaiseBuildError(FCommandWords[0], Tool.has_parent_path()
                                                  ? u"the signing command's program does not exist"
                                                  : u"the signing command's program is not on the "
                                                    u"PATH");
        return;
    }
    FProgram = FindOnPath("osslsigncode");
    if (FProgram.empty())
#ifdef _WIN32
        throw EBuildError(u"signing needs osslsigncode, which is not on the PATH: install it and "
                          u"put its folder on the PATH");
#else
        throw EBuildError(u"signing needs osslsigncode, which is not on the PATH: install it "
                          u"(Debian: apt-get install osslsigncode)");
#endif
    if (FRequest.Method == TSignMethod::Token) {
        if (!Readable(FRequest.Module))
            RaiseBuildError(DisplayPath(FRequest.Module), u"cannot read the PKCS#11 module");
        if (!FRequest.Certificate.empty() && !Readable(FRequest.Certificate))
            RaiseBuildError(DisplayPath(FRequest.Certificate), u"cannot read the certificate");
    } else if (!Readable(FRequest.Certificate)) {
        RaiseBuildError(DisplayPath(FRequest.Certificate), u"cannot read the certificate");
    }

    fs::path Input = Scratch, Output = Scratch;
    Input += ".probe";
    Output += ".probe-signed";
    const TScratchFile Unsigned(Input), Signed(Output);
    WriteWholeFile(Unsigned.Path(), Probe);
    const TCodeSignature Signature =
        SignWithOsslsigncode(Unsigned.Path(), Signed.Path(), DisplayPath(Scratch), false);
    CheckValidity(Signature, FRequest.Method == TSignMethod::Token && FRequest.Certificate.empty()
                                 ? Utf8ToWide(FRequest.KeyUri)
                                 : DisplayPath(FRequest.Certificate));
    FSigner = Signature.Signer;
    FSigningTime = std::max<int64_t>(0, Signature.NotBefore);
}

TCodeSignature TCodeSigner::SignFile(const fs::path& Input, const fs::path& Output,
                                     WideStringView Name, bool Timestamp) const {
    const TCodeSignature Signature = FRequest.Method == TSignMethod::Command
                                         ? SignWithCommand(Input, Output, Name)
                                         : SignWithOsslsigncode(Input, Output, Name, Timestamp);
    FSigner = Signature.Signer;
    return Signature;
}

TCodeSignature TCodeSigner::SignWithOsslsigncode(const fs::path& Input, const fs::path& Output,
                                                 WideStringView Name, bool Timestamp) const {
    const bool Token = FRequest.Method == TSignMethod::Token;
    std::vector<WideString> Arguments = {u"sign"};
    if (Token) {
        Arguments.insert(Arguments.end(), {u"-pkcs11module", FromPath(FRequest.Module)});
        if (FRequest.Certificate.empty())
            Arguments.insert(Arguments.end(),
                             {u"-pkcs11cert", Utf8ToWide(CertificateUri(FRequest.KeyUri))});
        else
            Arguments.insert(Arguments.end(), {u"-certs", FromPath(FRequest.Certificate)});
        Arguments.insert(Arguments.end(), {u"-key", Utf8ToWide(FRequest.KeyUri)});
    } else {
        Arguments.insert(Arguments.end(), {u"-pkcs12", FromPath(FRequest.Certificate)});
    }
    if (FRequest.PasswordFile) {
        // The PIN too: the token's engine takes it as the key's password.
        Arguments.push_back(u"-readpass");
        Arguments.push_back(FromPath(*FRequest.PasswordFile));
    }
    Arguments.insert(Arguments.end(), {u"-h", u"sha256"});
    if (Timestamp)
        Arguments.insert(Arguments.end(), {u"-ts", Utf8ToWide(FRequest.TimestampUrl)});
    else
        Arguments.insert(Arguments.end(), {u"-time", IntToStr(FSigningTime)});
    Arguments.insert(Arguments.end(), {u"-in", FromPath(Input), u"-out", FromPath(Output)});

    const TProgramResult Result = RunProgram(FProgram, Arguments);
    if (Result.ExitCode != 0 || !fs::is_regular_file(Output)) {
        const WideString Why = Reason(Result.Output);
        const WideString Code = FormatText(u" (exit code %d): ", int64_t(Result.ExitCode));
        if (!Token && Result.Output.find("PKCS#12") != std::string::npos)
            RaiseBuildError(DisplayPath(FRequest.Certificate),
                            FRequest.PasswordFile
                                ? u"cannot open the certificate: wrong password, or not a PKCS#12 "
                                  u"file"
                                : u"cannot open the certificate: not a PKCS#12 file, or it needs "
                                  u"a password (--sign-password-file)");
        if (Token && Has(Why, u"PIN incorrect"))
            RaiseBuildError(Utf8ToWide(FRequest.KeyUri), u"the token refused the PIN" + Code + Why);
        if (Token && Has(Why, u"object not found"))
            RaiseBuildError(Utf8ToWide(FRequest.KeyUri),
                            u"no such token, key or certificate" + Code + Why);
        if (Timestamp && Result.Output.find("timestamping failed") != std::string::npos)
            RaiseBuildError(Name, u"time-stamping at " + Utf8ToWide(FRequest.TimestampUrl) +
                                      u" failed" + Code + Why);
        RaiseBuildError(Name, u"osslsigncode failed" + Code + Why);
    }
    const std::optional<TCodeSignature> Signature = ReadFileCodeSignature(Output, Name);
    if (!Signature) RaiseBuildError(Name, u"osslsigncode wrote no signature");
    return *Signature;
}

TCodeSignature TCodeSigner::SignWithCommand(const fs::path& Input, const fs::path& Output,
                                            WideStringView Name) const {
    // Signed in place under its final extension: some tools tell the file's kind by it.
    std::error_code Error;
    fs::rename(Input, Output, Error);
    if (Error) fs::copy_file(Input, Output, fs::copy_options::overwrite_existing);
    const std::vector<WideString> Words = WithFile(FCommandWords, FromPath(Output));
    const TProgramResult Result =
        RunProgram(FProgram, std::vector<WideString>(Words.begin() + 1, Words.end()));
    if (Result.ExitCode != 0) {
        const std::vector<WideString> Printed = Lines(Result.Output);
        RaiseBuildError(Name, FormatText(u"the signing command failed (exit code %d)",
                                         int64_t(Result.ExitCode)) +
                                  (Printed.empty() ? WideString() : u": " + Printed.back()));
    }
    const TSignatureCheck Check = CheckFileCodeSignature(Output, Name);
    if (!Check.Signature) RaiseBuildError(Name, u"the signing command left the file unsigned");
    if (!Check.DigestChecked)
        RaiseBuildError(Name, u"the signing command signed with " +
                                  Check.Signature->DigestAlgorithm + u", not SHA-256");
    if (!Check.DigestMatches)
        RaiseBuildError(Name, u"the signing command's signature does not match the file: it "
                              u"changed after signing");
    CheckValidity(*Check.Signature, Name);
    return *Check.Signature;
}

TSignedFile TCodeSigner::SignInto(std::vector<uint8_t>&& Image, const fs::path& Target,
                                  WideStringView Name) const {
    fs::path Input = Target;
    Input += ".unsigned";
    const TScratchFile Unsigned(Input);
    WriteWholeFile(Unsigned.Path(), Image);
    std::vector<uint8_t>().swap(Image);
    return SignFileInto(Unsigned.Path(), Target, Name);
}

TSignedFile TCodeSigner::SignFileInto(const fs::path& Unsigned, const fs::path& Target,
                                      WideStringView Name) const {
    // "Setup.exe" is signed as "Setup.signing.exe" beside it.
    fs::path Signing = Target.stem();
    Signing += ".signing";
    Signing += Target.extension();
    fs::path Output = Target;
    Output.replace_filename(Signing);
    const TScratchFile Signed(Output);
    SignFile(Unsigned, Signed.Path(), Name.empty() ? DisplayPath(Target) : WideString(Name),
             Timestamped());
    const TSignedFile Result{fs::file_size(Signed.Path()), FileSha256(Signed.Path())};
    std::error_code Error;
    fs::rename(Signed.Path(), Target, Error);
    if (Error) RaiseBuildError(DisplayPath(Target), u"cannot replace the file");
    return Result;
}
