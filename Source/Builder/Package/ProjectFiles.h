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

// Where an item's files come from: SourcePath joined with a folder part of SourceMask (as the
// script writes it, and as a path of this machine, relative to the project), and the mask.
struct TItemSource {
    WideString Folder;
    WideString Mask;
    fs::path Path;
};
TItemSource ItemSourceOf(const TSetupFile& Item, const fs::path& ProjectDir);

struct TMatchedFile {
    fs::path Path;
    WideString SubFolder; // relative to the item's folder, backslash-separated, may be empty
    uint64_t Size;
};

// The files of the source folder that match the mask, sorted by name; then, with Recurse, those
// of every sub-folder, sub-folders in name order. The order does not depend on the file system.
// Raises EBuildError when a folder cannot be listed.
std::vector<TMatchedFile> FindItemFiles(const TItemSource& Source, bool Recurse);

// Joins two script paths with one backslash; either may be empty.
WideString JoinBackslash(WideStringView Left, WideStringView Right);

// Substitutes the script's variables into every item and replaces each file item by one item
// per matched file, with FileBytes and LastWriteDate filled in. Raises EBuildError naming the
// project for a mask that matches nothing or a NewFileName on a mask that matches several.
std::vector<TPackageFile> ExpandProjectItems(TSetupScript& Script, const fs::path& ProjectFile);
