#pragma once

#include "CatalogTree.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

// The record of one row of a tree or list, made when a caller asks for a row: a
// reference to a node of a scan plus what belongs to the row alone (its icons and,
// in a flat list, the list's percentage total). A record keeps its scan alive. A
// default-made record has empty texts and icon values 0.
class TCatalogNode
{
public:
    TCatalogNode() = default;
    TCatalogNode(std::shared_ptr<const CatalogTree> tree, NodeIndex index);

    std::int32_t ExpandedIcon = 0;
    std::int32_t CollapsedIcon = 0;

    // Text of field 0 to 19; empty for fields never filled and for unknown indexes.
    QString text(int field) const;

    // Makes SizePercentage read this row's share of `total` (the list pass).
    void setListTotal(double total) { m_listTotal = total; }
    std::optional<double> listTotal() const
    {
        return std::isnan(m_listTotal) ? std::nullopt : std::optional<double>(m_listTotal);
    }

    const std::shared_ptr<const CatalogTree> &tree() const { return m_tree; }
    NodeIndex index() const { return m_index; }
    bool isNull() const { return !m_tree; }

private:
    std::shared_ptr<const CatalogTree> m_tree;
    NodeIndex m_index = NoNode;
    // NaN until a list sets it.
    double m_listTotal = std::numeric_limits<double>::quiet_NaN();
};

// Copies the whole record: icons, the node it describes and its list total. The
// copy is independent of the source afterwards.
void CopyNodeRecord(const TCatalogNode &source, TCatalogNode &target);
