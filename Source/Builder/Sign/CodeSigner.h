#pragma once

// Signs the programs the build writes with Authenticode (SHA-256), through osslsigncode.

#include "Authenticode.h"
#include "PathUtils.h"

#include <optional>
#include <string>
#include <vector>

struct TSignRequest {
    fs::path Certificate; // PKCS#12 with the certificate and its private key
    // Holds the password; handed to the signer by name, so it is never on a command line.
    std::optional<fs::path> PasswordFile;
    // RFC 3161 time-stamping service; without one the signing time is fixed, so that the same
    // inputs give the same bytes.
    std::string TimestampUrl;
};

struct TSignedFile {
    uint64_t Size = 0;
    TSha256::TDigest Sha256{}; // of the whole file as written
};

class TCodeSigner {
public:
    // Finds osslsigncode and signs Probe (a program) into a scratch file beside Scratch, so that
    // a wrong password or an expired certificate stops the build before any work is done.
    TCodeSigner(TSignRequest Request, const std::vector<uint8_t>& Probe, const fs::path& Scratch);

    const WideString& Signer() const { return FSigner; }
    bool Timestamped() const { return !FRequest.TimestampUrl.empty(); }
    // The signing time written without a time-stamping service: the certificate's start, which
    // stays the same for as long as the certificate does.
    int64_t SigningTime() const { return FSigningTime; }

    // Writes Image beside Target, signs it into another file beside it, and gives only the
    // signed result Target's name. Image is released once written. Errors name Name, or Target.
    TSignedFile SignInto(std::vector<uint8_t>&& Image, const fs::path& Target,
                         WideStringView Name = {}) const;
    // The same from an image already written to Unsigned, which the caller removes.
    TSignedFile SignFileInto(const fs::path& Unsigned, const fs::path& Target,
                             WideStringView Name = {}) const;

private:
    TSignRequest FRequest;
    fs::path FProgram;
    WideString FSigner;
    int64_t FSigningTime = 0;

    // Signs Input into Output and reads the signature back; Name is the file errors name.
    TCodeSignature SignFile(const fs::path& Input, const fs::path& Output, WideStringView Name,
                            bool Timestamp) const;
};
