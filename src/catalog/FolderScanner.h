#pragma once

#include "CatalogTree.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>

struct ScanOptions
{
    // Called on the scanning thread now and then with the number of entries found.
    std::function<void(std::uint64_t entries)> progress;
    // Set from any thread to stop the walk; what was found so far is kept and rolled up.
    const std::atomic<bool> *cancel = nullptr;
};

// Clears `tree` and rebuilds it from the folder at `folderPath` (bytes as the file
// system takes them; a trailing '/' is allowed): the top node named by the path
// exactly as given, one node for every entry below it at every depth, folder
// sizes rolled up, percentages and counts filled. Symbolic links are recorded
// with their own size and never followed; nothing is opened but folders.
// Folders that cannot be read stay without children; an entry that cannot be
// examined stays with its name and path only. Returns false when cancelled.
bool ScanFolder(CatalogTree &tree, const QByteArray &folderPath, const ScanOptions &options = {});

// Appends one child of `parent` for every entry of the open folder `folderFd`,
// in the order the file system lists them, each filled from statx. Returns the
// number of entries appended.
std::uint32_t ScanEntries(CatalogTree &tree, int folderFd, NodeIndex parent);
