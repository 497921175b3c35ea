#pragma once

// Signs the programs the build writes with Authenticode (SHA-256): through osslsigncode with a
// certificate file or a key in a PKCS#11 token or HSM, or through a command of the vendor's.

#include "Authenticode.h"
#include "PathUtils.h"

#include <optional>
#include <string>
#include <vector>

enum class TSignMethod {
    CertificateFile, // a PKCS#12 file with the certificate and its private key
    Token,           // a private key in a PKCS#11 token or HSM
    Command,         // a signing tool of the vendor's that signs a file in place
};

struct TSignRequest {
    TSignMethod Method = TSignMethod::CertificateFile;
    // CertificateFile: the PKCS#12 file. Token: the certificate and its chain (PEM or DER), or
    // empty when the token holds the certificate beside the key.
    fs::path Certificate;
    std::string KeyUri;  // Token: the RFC 7512 URI of the private key
    fs::path Module;     // Token: the token's PKCS#11 library
    std::string Command; // Command: the command line, with {file} where the program goes
    // The certificate's password or the token's PIN; handed to the signer by name, so that it is
    // never on a command line.
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
    // Finds the signer and, signing through osslsigncode, signs Probe (a program) into a scratch
    // file beside Scratch, so that a wrong password or PIN, an unknown key or an expired
    // certificate stops the build before any work is done. A signing command is only split
    // and found: each of its runs may cost its vendor.
    TCodeSigner(TSignRequest Request, const std::vector<uint8_t>& Probe, const fs::path& Scratch);

    // The signing certificate's name, known once something is signed.
    const WideString& Signer() const { return FSigner; }
    TSignMethod Method() const { return FRequest.Method; }
    bool Timestamped() const { return !FRequest.TimestampUrl.empty(); }

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
    std::vector<WideString> FCommandWords; // the signing command, split
    mutable WideString FSigner;
    // The signing time written without a time-stamping service: the certificate's start, which
    // stays the same for as long as the certificate does.
    int64_t FSigningTime = 0;

    // Signs Input into Output and reads the signature back; Name is the file errors name.
    TCodeSignature SignFile(const fs::path& Input, const fs::path& Output, WideStringView Name,
                            bool Timestamp) const;
    TCodeSignature SignWithOsslsigncode(const fs::path& Input, const fs::path& Output,
                                        WideStringView Name, bool Timestamp) const;
    TCodeSignature SignWithCommand(const fs::path& Input, const fs::path& Output,
                                   WideStringView Name) const;
};
