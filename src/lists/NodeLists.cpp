#include "NodeLists.h"

#include "CatalogFields.h"
#include "MergeSort.h"
#include "NodeOrder.h"
#include "TreeOrder.h"

#include <QString>

NodeRows PathListRows(
    const std::shared_ptr<const CatalogTree> &tree, const TreeOrder &order, NodeIndex current)
{
    NodeRows rows;
    if (!tree || current == NoNode || current >= tree->nodeCount())
        return rows;
    rows.tree = tree;
    if (!tree->isFolder(current)) {
        rows.nodes.push_back(current);
    } else {
        const std::uint32_t count = tree->childCount(current);
        rows.nodes.reserve(count);
        for (std::uint32_t row = 0; row < count; ++row)
            rows.nodes.push_back(order.childAt(*tree, current, row));
    }
    UpdatePercentages(rows);
    return rows;
}

void UpdatePercentages(NodeRows &rows)
{
    if (!rows.tree)
        return;
    // The sum of the rows' FileBytes read as numbers: an empty size adds nothing.
    double total = 0.0;
    for (const NodeIndex node : rows.nodes) {
        const CatalogNodeData &n = rows.tree->node(node);
        if (n.has(CatalogNodeData::HasSize))
            total += double(n.size);
    }
    rows.total = total;
}

namespace {

template <typename Key>
struct RowItem
{
    Key key;
    NodeKind kind;
    int row;
};

// The rows of a long list lie all over the scan: each key costs a cache miss into
// the nodes and, for a name, one more into the names, which is most of the time of
// a sort by name. Asked for a few rows ahead, the misses overlap instead of being
// waited for one after the other; the names come later, once their node is there.
constexpr std::size_t NodeLookahead = 32;
constexpr std::size_t NameLookahead = 12;

void prefetchNode(const CatalogTree &tree, NodeIndex node)
{
    __builtin_prefetch(&tree.node(node));
}

void prefetchName(const CatalogTree &tree, NodeIndex node)
{
    __builtin_prefetch(tree.nameBytes(node).data());
}

template <typename Key, typename MakeKey, typename CompareKeys>
std::vector<int> sortRows(const NodeRows &rows, MakeKey makeKey, CompareKeys compareKeys,
    Qt::SortOrder order, bool keysReadNames = false)
{
    if (!rows.tree)
        return {};
    std::vector<RowItem<Key>> items;
    const CatalogTree &tree = *rows.tree;
    const std::vector<NodeIndex> &nodes = rows.nodes;
    items.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i + NodeLookahead < nodes.size())
            prefetchNode(tree, nodes[i + NodeLookahead]);
        if (keysReadNames && i + NameLookahead < nodes.size())
            prefetchName(tree, nodes[i + NameLookahead]);
        items.push_back({makeKey(tree, nodes[i]), tree.node(nodes[i]).kind(), int(i)});
    }
    const int sign = order == Qt::AscendingOrder ? 1 : -1;
    MergeSort(items, [&](const RowItem<Key> &a, const RowItem<Key> &b) {
        const int kinds = CompareKinds(a.kind, b.kind, order);
        return sign * (kinds != 0 ? kinds : compareKeys(a.key, b.key));
    });
    std::vector<int> sorted;
    sorted.reserve(items.size());
    for (const RowItem<Key> &item : items)
        sorted.push_back(item.row);
    return sorted;
}

} // namespace

std::vector<int> SortedRows(const NodeRows &rows, int sortField, Qt::SortOrder order)
{
    // What CompareNodes compares, made once a row: typed keys where the row's
    // text follows from its node alone, the text where it does not (a row's
    // percentage is of its own list).
    const std::optional<double> total = rows.total;
    switch (SortKeyOf(sortField)) {
    case SortKey::Number:
        return sortRows<double>(
            rows,
            [sortField, total](const CatalogTree &tree, NodeIndex node) {
                if (sortField == SizePercentage)
                    return NumberOfText(tree.fieldText(node, sortField, total));
                return NumberKey(tree, node, sortField);
            },
            [](double a, double b) { return CompareNumberKeys(a, b); }, order);
    case SortKey::Time: {
        TimeKeyReader reader;
        return sortRows<TimeKey>(
            rows,
            [&reader, sortField](const CatalogTree &tree, NodeIndex node) { return reader(tree, node, sortField); },
            [](const TimeKey &a, const TimeKey &b) { return CompareTimeKeys(a, b); }, order);
    }
    case SortKey::Unordered:
        return sortRows<char>(
            rows, [](const CatalogTree &, NodeIndex) { return char(0); }, [](char, char) { return 1; }, order);
    case SortKey::Name:
    case SortKey::Text:
        break;
    }
    if (SortKeyOf(sortField) == SortKey::Name) {
        return sortRows<NameKey>(
            rows,
            [sortField](const CatalogTree &tree, NodeIndex node) {
                return NameKeyOf(TextBytes(tree, node, sortField));
            },
            [](const NameKey &a, const NameKey &b) { return CompareNameKeys(a, b); }, order, true);
    }
    return sortRows<QString>(
        rows,
        [sortField, total](const CatalogTree &tree, NodeIndex node) { return tree.fieldText(node, sortField, total); },
        [](const QString &a, const QString &b) { return CompareTexts(a, b); }, order);
}
