#pragma once

#include "CatalogFields.h"
#include "CatalogTree.h"
#include "TCatalogNode.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TreeOrder;

// One list as every export reads it: its records in the order the file shows them
// (pre-order: each node before its children, siblings in the list's present order)
// with each record's depth, 0 for a top-level node. Taken from the list when the
// export starts, so it does not change under the writer. A flat list keeps its rows
// (with their own percentages, 44 bytes a row); the Total Tree keeps node numbers
// into its scan (8 bytes a row).
class ExportRows
{
public:
    ExportRows() = default;

    // The rows of a flat list, in its order; every depth is 0.
    static ExportRows flat(std::vector<TCatalogNode> rows);
    // Every node of `tree` in pre-order, siblings as `order` shows them: what the
    // Total Tree exports. Empty for an empty tree.
    static ExportRows wholeTree(std::shared_ptr<const CatalogTree> tree, const TreeOrder &order);

    std::size_t size() const { return m_depths.size(); }
    bool empty() const { return m_depths.empty(); }
    std::uint32_t depth(std::size_t row) const { return m_depths[row]; }

    // The stored text of field 0 to 19 of a row, as TCatalogNode::text gives it.
    QString text(std::size_t row, int field) const
    {
        if (!m_records.empty())
            return m_records[row].text(field);
        return m_tree->fieldText(m_nodes[row], field);
    }

    // The same text in UTF-8, appended to `out`.
    void appendUtf8(std::size_t row, int field, std::string &out) const
    {
        if (!m_records.empty()) {
            const TCatalogNode &record = m_records[row];
            if (!record.isNull() && field >= 0 && field < CatalogFieldCount)
                record.tree()->appendFieldUtf8(record.index(), field, record.listTotal(), out);
            return;
        }
        m_tree->appendFieldUtf8(m_nodes[row], field, std::nullopt, out);
    }

private:
    std::vector<TCatalogNode> m_records; // a flat list
    std::shared_ptr<const CatalogTree> m_tree; // the Total Tree ...
    std::vector<NodeIndex> m_nodes; // ... and its nodes in pre-order
    std::vector<std::uint32_t> m_depths;
};
