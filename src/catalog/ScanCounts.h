#pragma once

#include "CatalogTree.h"

#include <cstdint>

// What a finished scan reports to a person: its entries below the top by kind, and
// the folders below the top that could not be read (the top's own failure is
// reported on its own).
struct ScanCounts
{
    std::uint64_t entries = 0;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t unreadableFolders = 0;
};

ScanCounts CountScan(const CatalogTree &tree);
