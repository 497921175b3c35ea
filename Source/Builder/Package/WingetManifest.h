#pragma once

#include "PathUtils.h"
#include "Sha256.h"

#include <optional>
#include <string>
#include <vector>

// What the command line asks of the manifest for the Windows package manager (winget).
struct TWingetRequest {
    fs::path Folder;
    std::string InstallerUrl;      // where the full installer is served
    std::optional<std::string> Id; // default: derived from CompanyName and ProductName
    std::string Architecture;      // the stub's: x86 or x64
};

// The package as the manifest describes it, every text within the manifest's rules.
struct TWingetPackage {
    WideString Id, Version, Publisher, PublisherUrl, Name, License, Copyright, ShortDescription;
    // As the installer writes its entry in the list of installed programs.
    WideString ProductCode, DisplayName, DisplayPublisher, DisplayVersion;
    std::string InstallerUrl, Architecture;
};

// Refuses an address that is not HTTP or HTTPS and an identifier the manifest does not take,
// with EUsageError.
void CheckWingetRequest(const TWingetRequest& Request);

// Reads the project's general settings and licence. Raises EUsageError, before anything is
// built, for what the project lacks and the options must supply.
TWingetPackage DescribeWingetPackage(const fs::path& Project, const TWingetRequest& Request);

// Writes <Id>.yaml, <Id>.installer.yaml and <Id>.locale.zh-CN.yaml into Folder for the full
// installer of that digest; returns their paths.
std::vector<fs::path> WriteWingetManifest(const TWingetPackage& Package,
                                          const TSha256::TDigest& Installer,
                                          const fs::path& Folder);
