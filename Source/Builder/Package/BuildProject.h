#pragma once

#include "PathUtils.h"

#include <optional>
#include <string>

struct TBuildRequest {
    fs::path Project;
    std::optional<fs::path> OutputDir; // default: the project's folder
    fs::path Stub;
    // Installed as {app}\Uninstall.exe unless the project installs its own; none when empty.
    fs::path Uninstaller;
    int Jobs = 1;
    int Level = 7;
    bool ShowProgress = false;
};

struct TBuildReport {
    fs::path FullSetup;
    fs::path MiniSetup; // empty without a mini installer
    size_t Files = 0;
    int DistinctContents = 0;
    uint64_t PlainBytes = 0;
    uint64_t StoredBytes = 0;
    uint64_t FullSize = 0;
    uint64_t MiniSize = 0;
    std::string Engine;
    // The uninstaller was added (not the project's own, not none).
    bool UninstallerAdded = false;
};

// Expands the project, encodes its files and writes its installers. Raises EBuildError.
TBuildReport BuildProject(const TBuildRequest& Request);
