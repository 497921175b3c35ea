#pragma once

#include "FileDataClasses.h"
#include "LxSysUtils.h"
#include "PathUtils.h"
#include "Pe/PeImage.h"
#include "SetupProject.h"
#include "SolidData.h"

#include <functional>

#include <memory>
#include <optional>
#include <unordered_map>

// A built installer opened again: its image, its package resources and its script.
class TInstallerPackage {
public:
    // Raises EBuildError naming the file when it is no PE image or carries no package.
    explicit TInstallerPackage(const fs::path& File);
    // The same from the bytes of an installer; File only names it in messages.
    TInstallerPackage(std::vector<uint8_t> Bytes, const fs::path& File);

    bool IsFull() const { return FFull; }
    const TPeImage& Image() const { return *FImage; }
    const TSetupScript& Script() const { return *FScript; }
    const std::vector<uint8_t>& ScriptXml() const { return FScriptXml; }
    const TResource* RcData(WideStringView Name) const;
    // The decoded contents of a package resource, or nothing when it is missing.
    std::optional<std::vector<uint8_t>> Decoded(WideStringView Name) const;
    // Whether the files are solid zstd blocks rather than one zlib stream each.
    bool IsSolid() const { return RcData(SolidDataResName) != nullptr; }
    // The resource that holds the files, of either kind; null when there is none.
    const TResource* FileDataResource() const;
    // The file-data index; entries point into the image, which lives as long as this object.
    const TFileDataList& FileData() const;
    const TSolidIndex& SolidIndex() const;
    // Checks the index of the files, of either kind; raises EBuildError when it is damaged.
    void CheckIndex() const;
    // The decoded bytes of a file item, piece by piece; raises with the reason when its stream
    // is missing, damaged or holds more or fewer than its FileBytes.
    void DecodeFile(const TSetupFile& Item, TByteSink Sink) const;
    // Every file item in one pass over each solid block (a solid package's items all at once):
    // Piece receives the bytes of Items[I] in order; Failed(I, reason) a file that cannot be
    // decoded, whose pieces are then incomplete.
    void DecodeFiles(const std::vector<const TSetupFile*>& Items,
                     const std::function<void(size_t, const uint8_t*, size_t)>& Piece,
                     const std::function<void(size_t, const WideString&)>& Failed) const;
    WideString Name() const { return DisplayPath(FFile); }

private:
    fs::path FFile;
    std::unique_ptr<TPeImage> FImage;
    bool FFull = false;
    std::vector<uint8_t> FScriptXml;
    std::unique_ptr<TSetupScript> FScript;
    // An index read from Data on first use; a missing or damaged one is the build's error.
    template <class TIndex>
    const TIndex& LoadIndexOnce(std::unique_ptr<TIndex>& Index, const TResource* Data,
                                const char16_t* Missing,
                                void (TIndex::*Load)(const uint8_t*, size_t)) const;
    mutable std::unique_ptr<TFileDataList> FFileData;
    mutable std::unique_ptr<TSolidIndex> FSolidIndex;
    // The first entry of each GUID, so that finding every item's stream stays linear.
    mutable std::unordered_map<WideString, const TFileData*> FEntries;
};

// The target path of a file item inside an extraction folder: path constants become folder
// names ("{app}" -> "app"), a drive letter a folder ("C:" -> "C"), separators at the start
// are dropped. Raises EBuildError for what would leave the folder or reach something else
// than a file in it on any system: "..", a stream or drive after ':', a device name (CON,
// NUL, COM1...), a name ending in a dot or a space (Windows drops them), characters Windows
// does not allow in names.
fs::path ExtractionPath(const TSetupFile& Item, const fs::path& Root, WideStringView Installer);
