#pragma once

#include "CatalogTree.h"

#include <cstdint>

// What a finished scan reports to a person: its entries below the top by kind, and
// the folders below the top that could not be read (the top's own failure is
// reported on its own). Files, folders and entries of unknown kind add up to the
// entries.
struct ScanCounts
{
    std::uint64_t entries = 0;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    // Listed but not examined, where the listing gives no kind (a folder that may be
    // read but not searched, on a file system whose listings carry no types).
    std::uint64_t unknownKind = 0;
    std::uint64_t unreadableFolders = 0;
};

ScanCounts CountScan(const CatalogTree &tree);
