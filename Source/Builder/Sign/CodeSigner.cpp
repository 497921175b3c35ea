#include "CodeSigner.h"

#include "BuildError.h"
#include "LxDateUtils.h"
#include "LxStrUtils.h"
#include "RunProgram.h"

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

// The signer's line that says what failed; the library's traces and a bare "Failed" follow it.
WideString Reason(const std::string& Output) {
    WideString First;
    size_t Start = 0;
    while (Start < Output.size()) {
        size_t End = Output.find('\n', Start);
        if (End == std::string::npos) End = Output.size();
        const WideString Line =
            Trim(Utf8ToWide(std::string_view(Output).substr(Start, End - Start)));
        Start = End + 1;
        if (Line.empty() || Line == u"Failed") continue;
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

} // namespace

TCodeSigner::TCodeSigner(TSignRequest Request, const std::vector<uint8_t>& Probe,
                         const fs::path& Scratch)
    : FRequest(std::move(Request)) {
    FProgram = FindOnPath("osslsigncode");
    if (FProgram.empty())
#ifdef _WIN32
        throw EBuildError(u"--sign needs osslsigncode, which is not on the PATH: install it and "
                          u"put its folder on the PATH");
#else
        throw EBuildError(u"--sign needs osslsigncode, which is not on the PATH: install it "
                          u"(Debian: apt-get install osslsigncode)");
#endif
    const WideString Certificate = DisplayPath(FRequest.Certificate);
    if (!Readable(FRequest.Certificate))
        RaiseBuildError(Certificate, u"cannot read the certificate");
    if (FRequest.PasswordFile && !Readable(*FRequest.PasswordFile))
        RaiseBuildError(DisplayPath(*FRequest.PasswordFile), u"cannot read the password file");

    fs::path Input = Scratch, Output = Scratch;
    Input += ".probe";
    Output += ".probe-signed";
    const TScratchFile Unsigned(Input), Signed(Output);
    WriteWholeFile(Unsigned.Path(), Probe);
    const TCodeSignature Signature =
        SignFile(Unsigned.Path(), Signed.Path(), DisplayPath(Scratch), false);
    // Nothing checks the certificate when signing; an installer signed with an expired one
    // would fail on every machine.
    const int64_t Now = int64_t(std::time(nullptr));
    if (Now > Signature.NotAfter)
        RaiseBuildError(Certificate, u"the certificate expired on " + DateText(Signature.NotAfter));
    if (Now < Signature.NotBefore)
        RaiseBuildError(Certificate,
                        u"the certificate is not valid before " + DateText(Signature.NotBefore));
    FSigner = Signature.Signer;
    FSigningTime = std::max<int64_t>(0, Signature.NotBefore);
}

TCodeSignature TCodeSigner::SignFile(const fs::path& Input, const fs::path& Output,
                                     WideStringView Name, bool Timestamp) const {
    const WideString Certificate = DisplayPath(FRequest.Certificate);
    std::vector<WideString> Arguments = {u"sign", u"-pkcs12", FromPath(FRequest.Certificate)};
    if (FRequest.PasswordFile) {
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
        if (Has(Why, u"PKCS#12"))
            RaiseBuildError(Certificate,
                            FRequest.PasswordFile
                                ? u"cannot open the certificate: wrong password, or not a PKCS#12 "
                                  u"file"
                                : u"cannot open the certificate: not a PKCS#12 file, or it needs "
                                  u"a password (--sign-password-file)");
        if (Timestamp && Result.Output.find("timestamping failed") != std::string::npos)
            RaiseBuildError(Name, u"time-stamping at " + Utf8ToWide(FRequest.TimestampUrl) +
                                      u" failed (" + Why + u")");
        RaiseBuildError(Name, u"osslsigncode failed: " + Why);
    }
    const std::optional<TCodeSignature> Signature = ReadFileCodeSignature(Output, Name);
    if (!Signature) RaiseBuildError(Name, u"osslsigncode wrote no signature");
    return *Signature;
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
    fs::path Output = Target;
    Output += ".signed";
    const TScratchFile Signed(Output);
    SignFile(Unsigned, Signed.Path(), Name.empty() ? DisplayPath(Target) : WideString(Name),
             Timestamped());
    const TSignedFile Result{fs::file_size(Signed.Path()), FileSha256(Signed.Path())};
    std::error_code Error;
    fs::rename(Signed.Path(), Target, Error);
    if (Error) RaiseBuildError(DisplayPath(Target), u"cannot replace the file");
    return Result;
}
