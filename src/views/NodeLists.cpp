#include "NodeLists.h"

#include "TreeOrder.h"

std::vector<TCatalogNode> PathListRows(const std::shared_ptr<const CatalogTree> &tree,
                                       const TreeOrder &order, NodeIndex current)
{
    std::vector<TCatalogNode> rows;
    if (!tree || current == NoNode || current >= tree->nodeCount())
        return rows;
    if (!tree->isFolder(current)) {
        rows.emplace_back(tree, current);
    } else {
        const std::uint32_t count = tree->childCount(current);
        rows.reserve(count);
        for (std::uint32_t row = 0; row < count; ++row)
            rows.emplace_back(tree, order.childAt(*tree, current, row));
    }
    UpdatePercentages(rows);
    return rows;
}

void UpdatePercentages(std::vector<TCatalogNode> &rows)
{
    // The sum of the rows' FileBytes read as numbers: an empty size adds nothing.
    double total = 0.0;
    for (const TCatalogNode &row : rows) {
        if (row.isNull())
            continue;
        const CatalogNodeData &n = row.tree()->node(row.index());
        if (n.has(CatalogNodeData::HasSize))
            total += double(n.size);
    }
    for (TCatalogNode &row : rows)
        row.setListTotal(total);
}
