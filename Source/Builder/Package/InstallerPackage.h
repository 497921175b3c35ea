#pragma once

#include "FileDataClasses.h"
#include "PathUtils.h"
#include "Pe/PeImage.h"
#include "SetupProject.h"

#include <memory>
#include <optional>

// A built installer opened again: its image, its package resources and its script.
class TInstallerPackage {
public:
    // Raises EBuildError naming the file when it is no PE image or carries no package.
    explicit TInstallerPackage(const fs::path& File);

    bool IsFull() const { return FFull; }
    const TPeImage& Image() const { return *FImage; }
    const TSetupScript& Script() const { return *FScript; }
    const std::vector<uint8_t>& ScriptXml() const { return FScriptXml; }
    const TResource* RcData(WideStringView Name) const;
    // The decoded contents of a package resource, or nothing when it is missing.
    std::optional<std::vector<uint8_t>> Decoded(WideStringView Name) const;
    // The file-data index; entries point into the image, which lives as long as this object.
    const TFileDataList& FileData() const;
    WideString Name() const { return DisplayPath(FFile); }

private:
    fs::path FFile;
    std::unique_ptr<TPeImage> FImage;
    bool FFull = false;
    std::vector<uint8_t> FScriptXml;
    std::unique_ptr<TSetupScript> FScript;
    mutable std::unique_ptr<TFileDataList> FFileData;
};

// The target path of a file item inside an extraction folder: path constants become folder
// names ("{app}" -> "app"); anything that would leave the folder is refused.
fs::path ExtractionPath(const TSetupFile& Item, const fs::path& Root, WideStringView Installer);
