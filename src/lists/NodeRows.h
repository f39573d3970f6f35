#pragma once

#include "CatalogTree.h"
#include "TCatalogNode.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

// The rows of a flat list (the current-folder list, a drill-down list): nodes of one
// scan in list order, and the total their Size Percentage is a share of (see
// UpdatePercentages). Four bytes a row: the scan and the total are held once, by the
// list, which keeps its scan alive and so may outlive the next scan.
struct NodeRows
{
    std::shared_ptr<const CatalogTree> tree;
    std::vector<NodeIndex> nodes;
    std::optional<double> total;

    std::size_t size() const { return nodes.size(); }
    bool empty() const { return nodes.empty(); }

    // Row `row` as a record: its node of the scan, with the list's total.
    TCatalogNode record(std::size_t row) const
    {
        TCatalogNode record(tree, nodes[row]);
        if (total)
            record.setListTotal(*total);
        return record;
    }
    // Every row as a record, 40 bytes each: for callers that want a few rows' texts.
    std::vector<TCatalogNode> records() const
    {
        std::vector<TCatalogNode> all;
        all.reserve(nodes.size());
        for (std::size_t row = 0; row < nodes.size(); ++row)
            all.push_back(record(row));
        return all;
    }
};
