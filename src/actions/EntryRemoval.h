#pragma once

#include "CatalogTree.h"
#include "RemovalResult.h"

#include <vector>

// Removing chosen entries of a scan from the disk. Each entry is first found again
// where the scan found it and checked to be what the scan found (ChosenEntry): one
// that vanished, changed from folder to file or back, or has another file system
// mounted on it is skipped, and so is the scan's top. An entry below another chosen
// one goes with it and reports as it does. Nothing but the chosen entries is touched
// (and the trash they go to).
//
// Both run on the calling thread and may take long for a large folder; `tree` must
// not be edited meanwhile. Afterwards the tree follows with
// tree.removeEntries(result.removedNodes()) and, for each of
// result.partlyRemovedNodes(), a new scan of that folder and replaceFolder.

// Moves the entries to the trash (TrashCan), the user's or their file system's own.
RemovalResult MoveToTrash(const CatalogTree &tree, const std::vector<NodeIndex> &nodes);

// Deletes the entries for good: a file or link with unlinkat, a folder with everything
// below it (FolderEraser).
RemovalResult DeletePermanently(const CatalogTree &tree, const std::vector<NodeIndex> &nodes);
