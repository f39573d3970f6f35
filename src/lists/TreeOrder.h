#pragma once

#include "CatalogTree.h"
#include "MergeSort.h"

#include <Qt>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// The order in which a view shows the siblings of every folder of one scan. The
// scan keeps the children of a folder at consecutive indexes; this keeps, in 8
// bytes a node, which child stands at each row and the row of each node, so a
// model's index() and parent() are O(1) and sorting never copies the tree.
class TreeOrder
{
public:
    TreeOrder() = default;
    // The scan's own order (the order the file system listed the entries).
    explicit TreeOrder(const CatalogTree &tree);

    // The child of `parent` shown at `row` (row < childCount(parent)).
    NodeIndex childAt(const CatalogTree &tree, NodeIndex parent, std::uint32_t row) const
    {
        return m_byRow[tree.node(parent).firstChild + row];
    }
    // The row of `node` among its siblings; 0 for the top node.
    std::uint32_t rowOf(NodeIndex node) const { return m_rowOf[node]; }

    // Sorts every list of siblings by `compare` (its sign: negative puts `a` first),
    // with a merge sort that ends whatever `compare` answers.
    void sort(const CatalogTree &tree, const std::function<int(NodeIndex a, NodeIndex b)> &compare);
    // The same for any callable, called directly in the inner loop.
    template <typename Compare>
    void sortWith(const CatalogTree &tree, Compare &&compare);
    // Sorts by CompareTreeNodes with `sortField`; descending negates the comparison.
    void sortBy(const CatalogTree &tree, int sortField, Qt::SortOrder order);

    // Follows an edit of `tree` (CatalogTree::removeEntries, replaceFolder) at the
    // cost of what it changed: makes room for the nodes it added and puts the
    // children of `folders`, those whose list of children changed (what the edit
    // returned), in the order sortBy gives them. Every other folder keeps its order.
    void update(
        const CatalogTree &tree, const std::vector<NodeIndex> &folders, int sortField, Qt::SortOrder order);

private:
    // The folders a sort visits: every node, or only the ones listed.
    using Folders = const std::vector<NodeIndex> *;
    template <typename Visit>
    static void forEachFolder(const CatalogTree &tree, Folders folders, Visit &&visit);
    void sortBy(const CatalogTree &tree, Folders folders, int sortField, Qt::SortOrder order);
    template <typename Compare>
    void sortWith(const CatalogTree &tree, Folders folders, Compare &&compare);
    // Sorts every list of siblings as items made by `makeItem` (each with its
    // `node`): the keys travel with the nodes, so the sort reads memory in order.
    template <typename Item, typename MakeItem, typename Compare>
    void sortItems(const CatalogTree &tree, Folders folders, MakeItem &&makeItem, Compare &&compare);
    // Keys are made block by block as the sort reaches each list of siblings, so
    // the memory a sort takes is that of the largest folder, not of the whole scan.
    template <typename Key, typename KeyOf, typename CompareKeys>
    void sortByKeys(const CatalogTree &tree, Folders folders, KeyOf &&keyOf, CompareKeys compareKeys,
        Qt::SortOrder order);

    std::vector<NodeIndex> m_byRow; // per node slot firstChild + row: the child shown there
    std::vector<std::uint32_t> m_rowOf; // per node: its row
};

template <typename Visit>
void TreeOrder::forEachFolder(const CatalogTree &tree, Folders folders, Visit &&visit)
{
    const auto visitFolder = [&](NodeIndex i) {
        const CatalogNodeData &folder = tree.node(i);
        if (folder.childCount >= 2)
            visit(folder);
    };
    if (folders) {
        for (const NodeIndex i : *folders)
            visitFolder(i);
    } else {
        for (std::size_t i = 0; i < tree.nodeCount(); ++i)
            visitFolder(NodeIndex(i));
    }
}

template <typename Compare>
void TreeOrder::sortWith(const CatalogTree &tree, Compare &&compare)
{
    sortWith(tree, nullptr, std::forward<Compare>(compare));
}

template <typename Compare>
void TreeOrder::sortWith(const CatalogTree &tree, Folders folders, Compare &&compare)
{
    if (m_byRow.size() != tree.nodeCount())
        *this = TreeOrder(tree);
    std::vector<NodeIndex> buffer;
    forEachFolder(tree, folders, [&](const CatalogNodeData &folder) {
        NodeIndex *block = m_byRow.data() + folder.firstChild;
        if (buffer.size() < folder.childCount)
            buffer.resize(folder.childCount);
        MergeSort(block, folder.childCount, buffer.data(), compare);
        for (std::uint32_t row = 0; row < folder.childCount; ++row)
            m_rowOf[block[row]] = row;
    });
}
