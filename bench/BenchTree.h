#pragma once

#include "CatalogTree.h"

#include <cstdint>

// The live folder below the top whose count of entries below it is nearest
// `entries`: the folder the edit benchmarks read again.
inline NodeIndex FolderOfAbout(const CatalogTree &tree, std::uint32_t entries)
{
    NodeIndex best = NoNode;
    std::uint32_t bestDistance = ~0u;
    for (NodeIndex n = tree.top() + 1; n < tree.nodeCount(); ++n) {
        if (!tree.isFolder(n) || tree.isRetired(n))
            continue;
        const std::uint32_t below = tree.node(n).subtreeCount - 1;
        const std::uint32_t distance = below > entries ? below - entries : entries - below;
        if (distance < bestDistance) {
            best = n;
            bestDistance = distance;
        }
    }
    return best;
}
