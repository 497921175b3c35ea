#pragma once

#include "PathUtils.h"
#include "SetupProject.h"

// One file of the package: the expanded script item and where its bytes come from.
struct TPackageFile {
    TSetupFile* Item; // owned by the script's file list
    fs::path Source;
    uint64_t Size = 0;
};

// "*" matches any run of characters, "?" any one; letters compare without regard to case.
bool MatchesMask(WideStringView Name, WideStringView Mask);

// Substitutes the script's variables into every item and replaces each file item by one item
// per matched file, with FileBytes and LastWriteDate filled in. Raises EBuildError naming the
// project for a mask that matches nothing or a NewFileName on a mask that matches several.
std::vector<TPackageFile> ExpandProjectItems(TSetupScript& Script, const fs::path& ProjectFile);
