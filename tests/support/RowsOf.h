#pragma once

#include "NodeRows.h"
#include "TCatalogNode.h"

#include <vector>

// The rows of a list made of records of one scan, as a test writes them: the scan
// and the total of the first record.
inline NodeRows RowsOf(const std::vector<TCatalogNode> &records)
{
    NodeRows rows;
    if (records.empty())
        return rows;
    rows.tree = records.front().tree();
    rows.total = records.front().listTotal();
    for (const TCatalogNode &record : records)
        rows.nodes.push_back(record.index());
    return rows;
}
