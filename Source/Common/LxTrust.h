#pragma once

// Windows only: what the system says of a file's Authenticode signature, and its SHA-256.
#include "LxTypes.h"

#include <vector>

enum class TLxSignatureState : uint8_t {
    None,   // no signature at all
    Valid,  // the system's trust check passed
    Invalid // signed, but the digest, the chain or the provider refused it
};

// Who signed: the encoded subject and issuer names of the signer's certificate.
struct TLxSigner {
    std::vector<uint8_t> Subject;
    std::vector<uint8_t> Issuer;
    bool operator==(const TLxSigner&) const = default;
};

class TLxTrustfn {
public:
    TLxTrustfn() = delete;
    // The system's trust check of the file's embedded signature, through File (a HANDLE open
    // for reading) when given. Signer gets the signer's names whenever the signature could be
    // read, valid or not.
    static TLxSignatureState VerifyFile(const WideString& Path, void* File, TLxSigner& Signer);
    // The loaded image Module (an HMODULE) carries a certificate table: it was signed.
    static bool CarriesSignature(void* Module);
    // SHA-256 of everything File (a HANDLE open for reading) holds, read from its start.
    static bool Sha256(void* File, uint8_t (&Digest)[32]);
};
