#pragma once

#include "CatalogTree.h"

#include <optional>
#include <vector>

// Writes the total of every folder below `node` into its size and returns the sum
// of the sizes of the node's children; the node's own size is left to the caller.
// Nodes of unknown kind count with their own size (none when never examined) and
// are never descended into. Sums are exact 64-bit integers up to SaturatedSize,
// where a total that would pass 2^64 - 1 bytes stays instead of wrapping.
// Disk usage rolls up alike, but a folder's own blocks count as well: a folder of a
// tree not yet finished (FillPercentages) holds its own blocks in diskSize; in one
// finished before, they are its total less its children's.
double RollUpSizes(CatalogTree &tree, NodeIndex node);
// The same sum as a whole number, exact beyond 2^53 bytes.
std::uint64_t RollUpBytes(CatalogTree &tree, NodeIndex node);
// The sum of the sizes of the node's children (as RollUpBytes), and the node's whole
// disk usage: its own blocks and its children's. The node itself is left unchanged.
struct RolledUp
{
    std::uint64_t bytes = 0;
    std::uint64_t diskBytes = 0;
};
RolledUp RollUpTotals(CatalogTree &tree, NodeIndex node);

// Every node below `node` and the node itself, parents before their children, in the
// tree as it stands (retired slots are not reached).
std::vector<NodeIndex> SubtreeOrder(const CatalogTree &tree, NodeIndex node);

// Makes every node's SizePercentage its share of `total` and its FileCount the
// number of nodes below it ("1" for a file).
void FillPercentages(CatalogTree &tree, double total);

// Gives a tree whose nodes are all in what a finished scan holds: folder sizes
// rolled up to the top, percentages and counts filled and, with `ranges`, the files
// classified as of now, so whoever takes the tree reads every field at once.
void FinishTree(CatalogTree &tree, const std::optional<RangeBounds> &ranges = std::nullopt);
