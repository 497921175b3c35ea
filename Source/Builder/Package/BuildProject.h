#pragma once

#include "PathUtils.h"
#include "Sign/CodeSigner.h"

#include <optional>
#include <string>

struct TBuildRequest {
    fs::path Project;
    std::optional<fs::path> OutputDir; // default: the project's folder
    fs::path Stub;
    // Installed as {app}\Uninstall.exe unless the project installs its own; none when empty.
    fs::path Uninstaller;
    int Jobs = 1;
    // The package codec's zlib streams, one per file (the default), or solid zstd blocks.
    bool Solid = false;
    int Level = 0; // 0: the compression's default
    bool ShowProgress = false;
    // Signs the uninstaller added, the full installer and the mini installer.
    std::optional<TSignRequest> Sign;
    // Records the full installer's SHA-256 in the mini installer, which installs only that file.
    bool PinFullSetup = true;
};

struct TBuildReport {
    fs::path FullSetup;
    fs::path MiniSetup;         // empty without a mini installer
    WideString FullDownloadUrl; // where the mini installer downloads the full one
    size_t Files = 0;
    int DistinctContents = 0;
    uint64_t PlainBytes = 0;
    uint64_t StoredBytes = 0;
    uint64_t FullSize = 0;
    uint64_t MiniSize = 0;
    WideString Engine;
    // The uninstaller was added (not the project's own, not none).
    bool UninstallerAdded = false;
    WideString Signer;        // the signing certificate's name; empty when nothing was signed
    bool Timestamped = false; // by the builder's own signing; a signing command decides itself
    TSignMethod SignMethod = TSignMethod::CertificateFile;
    // What the mini installer pins; nothing without a mini installer or with the pin left out.
    std::optional<TSha256::TDigest> PinnedDigest;
};

// Expands the project, encodes its files and writes its installers. Raises EBuildError.
TBuildReport BuildProject(const TBuildRequest& Request);
