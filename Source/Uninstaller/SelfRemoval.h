#pragma once

#include "LxTypes.h"

// A running program's file cannot be deleted, but it can be renamed. The uninstaller's own file
// leaves the product's folder under a name that no installation ever writes, so that the
// folder can go and a newer version may write there the moment this process ends. Nothing left
// to happen later ever names a path of the product.

// Returns where the file went (scheduled for deletion at the next restart), empty when it
// could not be moved.
WideString MoveOwnFileAway(const WideString& Self, const WideString& AppDir);
// Has the moved file deleted once this process has ended, without a shell or any program but
// this one: a copy of it beside the moved file, opened for deletion when its last handle
// closes, is started with that handle and one of this process. The last call before the end.
void DeleteAfterExit(const WideString& Moved);
// In that copy: waits for the uninstaller to end, deletes the moved file and ends the process;
// the system then deletes the copy. Returns only when this process is not such a copy.
void FinishSelfRemoval();
