#include "RollUp.h"

#include <QDateTime>

#include <vector>

std::vector<NodeIndex> SubtreeOrder(const CatalogTree &tree, NodeIndex node)
{
    std::vector<NodeIndex> order;
    std::vector<NodeIndex> pending {node};
    while (!pending.empty()) {
        const NodeIndex n = pending.back();
        pending.pop_back();
        order.push_back(n);
        if (!tree.isFolder(n))
            continue;
        for (std::uint32_t r = 0; r < tree.childCount(n); ++r)
            pending.push_back(tree.child(n, r));
    }
    return order;
}

double RollUpSizes(CatalogTree &tree, NodeIndex node)
{
    return double(RollUpBytes(tree, node));
}

std::uint64_t RollUpBytes(CatalogTree &tree, NodeIndex node)
{
    return RollUpTotals(tree, node).bytes;
}

RolledUp RollUpTotals(CatalogTree &tree, NodeIndex node)
{
    if (node == NoNode || node >= tree.nodeCount())
        return {};

    // A total that would wrap stays at SaturatedSize, which no file reaches.
    const auto add = [](std::uint64_t &total, std::uint64_t more) {
        if (__builtin_add_overflow(total, more, &total))
            total = SaturatedSize;
    };
    // A folder's own blocks: its disk usage as a scan found it, or in a tree rolled
    // up before, its total less its children's (read before they are reset).
    const bool rolledUp = tree.hasPercentages();
    const auto ownBlocks = [&tree, rolledUp, &add](NodeIndex n) {
        const CatalogNodeData &d = tree.node(n);
        if (!rolledUp || d.kind() != NodeKind::Folder)
            return d.diskSize;
        std::uint64_t below = 0;
        for (std::uint32_t r = 0; r < d.childCount; ++r)
            add(below, tree.node(d.firstChild + r).diskSize);
        return d.diskSize != SaturatedSize && d.diskSize >= below ? d.diskSize - below : 0;
    };
    const auto reset = [&tree, &ownBlocks](NodeIndex n) {
        CatalogNodeData &d = tree.node(n);
        if (d.kind() == NodeKind::Folder) {
            d.diskSize = ownBlocks(n);
            d.size = 0;
            d.set(CatalogNodeData::HasSize);
        }
    };
    const auto addToParent = [&tree, &add](NodeIndex n) {
        const CatalogNodeData &d = tree.node(n);
        CatalogNodeData &p = tree.node(d.parent);
        add(p.size, d.size);
        add(p.diskSize, d.diskSize);
    };

    const CatalogNodeData own = tree.node(node);
    const std::uint64_t nodeBlocks = ownBlocks(node);
    if (node == tree.top() && tree.retiredCount() == 0) {
        // Every descendant has a larger index than its ancestors, so one sweep
        // from the end sums each folder before it is added to its parent, and one
        // from the start resets each folder before its children.
        for (NodeIndex n = 0; n < tree.nodeCount(); ++n)
            reset(n);
        tree.node(node).diskSize = 0;
        for (NodeIndex n = NodeIndex(tree.nodeCount()); n-- > 1;)
            addToParent(n);
    } else {
        const std::vector<NodeIndex> order = SubtreeOrder(tree, node);
        for (NodeIndex n : order)
            reset(n);
        tree.node(node).diskSize = 0;
        for (auto it = order.rbegin(); it != order.rend() && *it != node; ++it)
            addToParent(*it);
    }
    CatalogNodeData &d = tree.node(node);
    RolledUp total {d.size, nodeBlocks};
    add(total.diskBytes, d.diskSize);
    d = own; // the node's own figures are the caller's to write
    return total;
}

void FillPercentages(CatalogTree &tree, double total)
{
    if (tree.retiredCount() == 0) {
        for (NodeIndex n = 0; n < tree.nodeCount(); ++n)
            tree.node(n).subtreeCount = 1;
        for (NodeIndex n = NodeIndex(tree.nodeCount()); n-- > 1;) {
            CatalogNodeData &d = tree.node(n);
            tree.node(d.parent).subtreeCount += d.subtreeCount;
        }
    } else if (!tree.isEmpty()) {
        // Retired slots keep the counts they had.
        const std::vector<NodeIndex> order = SubtreeOrder(tree, tree.top());
        for (const NodeIndex n : order)
            tree.node(n).subtreeCount = 1;
        for (auto it = order.rbegin(); it != order.rend() && *it != tree.top(); ++it)
            tree.node(tree.parent(*it)).subtreeCount += tree.node(*it).subtreeCount;
    }
    tree.setPercentageTotal(total);
}

void FinishTree(CatalogTree &tree, const std::optional<RangeBounds> &ranges)
{
    const RolledUp totals = RollUpTotals(tree, tree.top());
    CatalogNodeData &top = tree.node(tree.top());
    top.size = totals.bytes;
    top.diskSize = totals.diskBytes;
    top.set(CatalogNodeData::HasSize);
    FillPercentages(tree, double(top.size));
    // Ages count from the moment the tree is complete, not from when its reading began.
    if (ranges)
        tree.setClassification({ranges->sizeBounds, ranges->ageBounds, QDateTime::currentSecsSinceEpoch()});
}
