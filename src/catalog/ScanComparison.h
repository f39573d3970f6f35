#pragma once

#include <cstdint>
#include <vector>

// How an entry of a compared scan differs from the earlier scan (matched by path).
enum class EntryChange : std::uint8_t {
    Unchanged = 0,
    New, // only in the later scan
    Removed, // only in the earlier scan: shown with its earlier figures
    Grown,
    Shrunk,
};

// What a comparison with an earlier scan adds to a tree, by node index: kept beside
// the tree (nine bytes a node) and only in a tree made by a comparison, so a node
// keeps its 56 bytes. Nodes past the end (appended by a later edit) have none.
struct ScanComparison
{
    std::vector<std::int64_t> sizeChange; // bytes, later less earlier, summed up the tree
    std::vector<EntryChange> change;
};

// The text of a change ("new", "removed", "grown", "shrunk", "unchanged").
const char *EntryChangeText(EntryChange change);
