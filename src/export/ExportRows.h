#pragma once

#include "CatalogFields.h"
#include "CatalogTree.h"
#include "NodeRows.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TreeOrder;

// One list as every export reads it: its records in the order the file shows them
// (pre-order: each node before its children, siblings in the list's present order)
// with each record's depth, 0 for a top-level node. Taken from the list when the
// export starts, so it does not change under the writer: node numbers into the scan
// (8 bytes a row with the depth) and, for a flat list, the total of its percentages.
class ExportRows
{
public:
    ExportRows() = default;

    // The rows of a flat list, in its order; every depth is 0.
    static ExportRows flat(const NodeRows &rows);
    // Every node of `tree` in pre-order, siblings as `order` shows them: what the
    // Total Tree exports. Empty for an empty tree.
    static ExportRows wholeTree(std::shared_ptr<const CatalogTree> tree, const TreeOrder &order);

    std::size_t size() const { return m_depths.size(); }
    bool empty() const { return m_depths.empty(); }
    std::uint32_t depth(std::size_t row) const { return m_depths[row]; }

    // The stored text of a field of a row, as the list shows it; empty for an
    // unknown field.
    QString text(std::size_t row, int field) const
    {
        if (field < 0 || field >= CatalogFieldCount)
            return QString();
        return m_tree->fieldText(m_nodes[row], field, m_total);
    }

    // The same text in UTF-8, appended to `out`.
    void appendUtf8(std::size_t row, int field, std::string &out) const
    {
        if (field >= 0 && field < CatalogFieldCount)
            m_tree->appendFieldUtf8(m_nodes[row], field, m_total, out);
    }

private:
    std::shared_ptr<const CatalogTree> m_tree;
    std::vector<NodeIndex> m_nodes; // in the order the file shows them
    std::optional<double> m_total; // a flat list's: its percentages' total
    std::vector<std::uint32_t> m_depths;
};
