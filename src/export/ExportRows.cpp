#include "ExportRows.h"

#include "TreeOrder.h"

#include <utility>

ExportRows ExportRows::flat(const NodeRows &rows)
{
    ExportRows result;
    if (!rows.tree)
        return result;
    result.m_tree = rows.tree;
    result.m_nodes = rows.nodes;
    result.m_total = rows.total;
    result.m_depths.assign(rows.size(), 0);
    return result;
}

ExportRows ExportRows::wholeTree(std::shared_ptr<const CatalogTree> tree, const TreeOrder &order)
{
    ExportRows result;
    if (!tree || tree->isEmpty())
        return result;
    const CatalogTree &t = *tree;
    result.m_nodes.reserve(t.nodeCount());
    result.m_depths.reserve(t.nodeCount());

    // An explicit stack, not recursion: a chain of folders may be 100,000 deep.
    struct Frame
    {
        NodeIndex folder;
        std::uint32_t next;
    };
    std::vector<Frame> stack;
    result.m_nodes.push_back(t.top());
    result.m_depths.push_back(0);
    stack.push_back({t.top(), 0});
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == t.childCount(frame.folder)) {
            stack.pop_back();
            continue;
        }
        const NodeIndex child = order.childAt(t, frame.folder, frame.next++);
        result.m_nodes.push_back(child);
        result.m_depths.push_back(std::uint32_t(stack.size()));
        if (t.childCount(child) > 0)
            stack.push_back({child, 0});
    }
    result.m_tree = std::move(tree);
    return result;
}
