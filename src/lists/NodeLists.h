#pragma once

#include "CatalogTree.h"
#include "NodeRows.h"

#include <Qt>

#include <memory>
#include <vector>

class TreeOrder;

// The rows of the current-folder list: the children of `current` in the order the
// Total Tree shows them, or `current` alone when it is not a folder; percentages
// against the list's own total (UpdatePercentages).
NodeRows PathListRows(
    const std::shared_ptr<const CatalogTree> &tree, const TreeOrder &order, NodeIndex current);

// Makes every row's SizePercentage its share of the sum of the rows' sizes ("0" for
// every row when that sum is 0). A row without a size adds nothing to the sum and
// keeps an empty percentage.
void UpdatePercentages(NodeRows &rows);

// Puts the rows in the order MergeSort with CompareNodes gives them (descending: the
// negated result), in place. The key of each row is made once, not at every
// comparison: a list sorted by a time field reads each time stamp once.
void SortRows(NodeRows &rows, int sortField, Qt::SortOrder order);
