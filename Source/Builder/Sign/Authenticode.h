#pragma once

// The Authenticode signature of a PE image, read as Windows reads it: a PKCS#7 SignedData in
// the certificate table whose SpcIndirectDataContent holds the digest of the image.

#include "LxTypes.h"
#include "Package/Sha256.h"
#include "PathUtils.h"

#include <cstdint>
#include <optional>
#include <vector>

struct TCodeSignature {
    WideString Signer; // the signing certificate's subject common name, or its whole subject
    WideString DigestAlgorithm;  // "SHA-256", "SHA-1", or the OID of another
    std::vector<uint8_t> Digest; // what the signature says the image hashes to
    // The signing certificate's validity, seconds since 1970 (UTC).
    int64_t NotBefore = 0;
    int64_t NotAfter = 0;
};

// The image's signature; nothing when it has no certificate table. Headers, table or signature
// that are malformed raise EBuildError naming FileName.
std::optional<TCodeSignature> ReadCodeSignature(const uint8_t* Data, size_t Size,
                                                WideStringView FileName);

// The same read from a file's headers and its certificate table, not from the whole file.
std::optional<TCodeSignature> ReadFileCodeSignature(const fs::path& File, WideStringView FileName);

// The SHA-256 of the image without its checksum, its certificate-table entry and the table.
TSha256::TDigest AuthenticodeSha256(const uint8_t* Data, size_t Size, WideStringView FileName);

struct TSignatureCheck {
    std::optional<TCodeSignature> Signature;
    bool DigestChecked = false; // only SHA-256 signatures are checked
    bool DigestMatches = false;
};

TSignatureCheck CheckCodeSignature(const std::vector<uint8_t>& Image, WideStringView FileName);
// The same from a file, read piece by piece.
TSha256::TDigest FileAuthenticodeSha256(const fs::path& File, WideStringView FileName);
TSignatureCheck CheckFileCodeSignature(const fs::path& File, WideStringView FileName);
// "not signed", "signed by X; its SHA-256 digest matches the file", ...
WideString DescribeSignature(const TSignatureCheck& Check);
