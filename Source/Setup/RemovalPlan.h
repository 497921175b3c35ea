#pragma once

// What removing an installed product takes away, worked out from its script before anything is
// touched. Portable: the uninstaller carries it out.
#include "LxTypes.h"

#include <vector>

class TSetupScript;

// The places that decide what may go. Folders end in a backslash.
struct TRemovalPlaces {
    // The product's folder, {app}.
    WideString AppDir;
    // The Start-menu programs folder that holds {group}.
    WideString ProgramsDir;
    // Files inside these stay: other programs may share them (the Windows and system folders).
    std::vector<WideString> SharedFolders;
    // Never removed, and with {app} one of them no folder is removed at all: the Windows and
    // system folders, Program Files itself.
    std::vector<WideString> ProtectedFolders;
};

struct TRemovalValue {
    uint32_t Root = 0;
    WideString SubKey;
    WideString Name;
};

struct TRemovalPlan {
    // The file list's targets, in its order, without those in shared folders.
    std::vector<WideString> Files;
    std::vector<WideString> Shortcuts;
    // Folders the shortcuts are in, below the programs folder or {app}, deepest first.
    std::vector<WideString> ShortcutFolders;
    std::vector<TRemovalValue> Values;
    // Folders the file list wrote into, deepest first: below and including {app}, and the
    // folders themselves elsewhere. Empty when {app} is protected.
    std::vector<WideString> Folders;
    // {app} is a drive root or a protected folder: its folders stay.
    bool FoldersKept = false;
};

// Expands the script's texts with the path constants, which must be set for AppDir.
TRemovalPlan PlanRemoval(const TSetupScript& Script, const TRemovalPlaces& Places);

// Whether an emptied key may be deleted: never a first-level key of a root ("Software") and
// nothing under "Software\Microsoft".
bool MayRemoveRegistryKey(WideStringView SubKey);
// "A\B\C" gives "A\B"; a first-level key gives "".
WideString ParentRegistryKey(WideStringView SubKey);
// Path with "/" read as "\", empty and "." parts dropped and ".." taking away the part before it,
// never the drive or the "\\server\share" it starts with; a trailing backslash stays.
WideString NormalisedPath(WideStringView Path);
// True when Path lies in Folder (which ends in a backslash) or is Folder itself.
bool IsInFolder(WideStringView Path, WideStringView Folder);
// "C:\", "\\server\share\" and the like.
bool IsDriveRoot(WideStringView Folder);
