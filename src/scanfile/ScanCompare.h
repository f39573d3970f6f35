#pragma once

#include "CatalogTree.h"

#include <memory>
#include <optional>

struct CompareOptions
{
    // Leaves out what only the earlier scan has.
    bool hideRemoved = false;
    std::optional<RangeBounds> ranges;
};

// The later scan with what changed since the earlier one (CatalogTree::comparison):
// entries are matched by their path below the top (the tops match whatever their
// paths); an entry only in the later scan is "new", one only in the earlier scan is
// added as "removed" with its earlier figures (and, for a folder, everything below it)
// unless options.hideRemoved; the others "grown", "shrunk" or "unchanged" by size.
// A renamed entry is one removed and one new. Size Change is the later size less the
// earlier one (a removed entry's is its size, negative), so a folder's is the sum of
// its entries'. Every other figure is the later scan's: a folder's size counts no
// removed entry, its File Count counts their rows too.
std::shared_ptr<CatalogTree> CompareScans(
    const CatalogTree &later, const CatalogTree &earlier, const CompareOptions &options = {});
