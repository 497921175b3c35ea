#pragma once

#include "LxTypes.h"

// A running program's file cannot be deleted, but it can be renamed. The uninstaller's own file
// leaves the product's folder under a name that no installation ever writes, so that the
// folder can go and a newer version may write there the moment this process ends. Nothing left
// to happen later ever names a path of the product.

// Returns where the file went (scheduled for deletion at the next restart), empty when it
// could not be moved.
WideString MoveOwnFileAway(const WideString& Self, const WideString& AppDir);
// Deletes the moved file a moment after the process has ended. The last call before the end.
void DeleteAfterExit(const WideString& Moved);
