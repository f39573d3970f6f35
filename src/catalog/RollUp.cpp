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
    if (node == NoNode || node >= tree.nodeCount())
        return 0;

    const auto addToParent = [&tree](NodeIndex n) {
        const CatalogNodeData &d = tree.node(n);
        std::uint64_t &total = tree.node(d.parent).size;
        // A total that would wrap stays at SaturatedSize, which no file reaches.
        if (__builtin_add_overflow(total, d.size, &total))
            total = SaturatedSize;
    };
    const auto reset = [&tree](NodeIndex n) {
        CatalogNodeData &d = tree.node(n);
        if (d.kind() == NodeKind::Folder) {
            d.size = 0;
            d.set(CatalogNodeData::HasSize);
        }
    };

    const CatalogNodeData own = tree.node(node);
    if (node == tree.top() && tree.retiredCount() == 0) {
        // Every descendant has a larger index than its ancestors, so one sweep
        // from the end sums each folder before it is added to its parent.
        for (NodeIndex n = 0; n < tree.nodeCount(); ++n)
            reset(n);
        for (NodeIndex n = NodeIndex(tree.nodeCount()); n-- > 1;)
            addToParent(n);
    } else {
        const std::vector<NodeIndex> order = SubtreeOrder(tree, node);
        for (NodeIndex n : order)
            reset(n);
        for (auto it = order.rbegin(); it != order.rend() && *it != node; ++it)
            addToParent(*it);
    }
    CatalogNodeData &d = tree.node(node);
    const std::uint64_t total = d.size;
    d = own; // the node's own size is the caller's to write
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
    CatalogNodeData &top = tree.node(tree.top());
    top.size = RollUpBytes(tree, tree.top());
    top.set(CatalogNodeData::HasSize);
    FillPercentages(tree, double(top.size));
    // Ages count from the moment the tree is complete, not from when its reading began.
    if (ranges)
        tree.setClassification({ranges->sizeBounds, ranges->ageBounds, QDateTime::currentSecsSinceEpoch()});
}
