#include "NodeLists.h"

#include "CatalogFields.h"
#include "MergeSort.h"
#include "NodeOrder.h"
#include "TreeOrder.h"

#include <QString>

std::vector<TCatalogNode> PathListRows(
    const std::shared_ptr<const CatalogTree> &tree, const TreeOrder &order, NodeIndex current)
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

void prefetchNode(const TCatalogNode &row)
{
    if (!row.isNull())
        __builtin_prefetch(&row.tree()->node(row.index()));
}

void prefetchName(const TCatalogNode &row)
{
    if (!row.isNull())
        __builtin_prefetch(row.tree()->nameBytes(row.index()).data());
}

template <typename Key, typename MakeKey, typename CompareKeys>
std::vector<int> sortRows(const std::vector<TCatalogNode> &rows, MakeKey makeKey, CompareKeys compareKeys,
    Qt::SortOrder order, bool keysReadNames = false)
{
    std::vector<RowItem<Key>> items;
    items.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i + NodeLookahead < rows.size())
            prefetchNode(rows[i + NodeLookahead]);
        if (keysReadNames && i + NameLookahead < rows.size())
            prefetchName(rows[i + NameLookahead]);
        const TCatalogNode &row = rows[i];
        // A row of no scan has an empty FileType text, as a node of unknown kind.
        const NodeKind kind = row.isNull() ? NodeKind::Unknown : row.tree()->node(row.index()).kind();
        items.push_back({makeKey(row), kind, int(i)});
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

std::vector<int> SortedRows(const std::vector<TCatalogNode> &rows, int sortField, Qt::SortOrder order)
{
    // What CompareNodes compares, made once a row: typed keys where the row's
    // text follows from its node alone, the text where it does not (a row's
    // percentage is of its own list).
    switch (SortKeyOf(sortField)) {
    case SortKey::Number:
        return sortRows<double>(
            rows,
            [sortField](const TCatalogNode &row) {
                if (row.isNull())
                    return 0.0;
                if (sortField == SizePercentage)
                    return NumberOfText(row.text(sortField));
                return NumberKey(*row.tree(), row.index(), sortField);
            },
            [](double a, double b) { return CompareNumberKeys(a, b); }, order);
    case SortKey::Time: {
        TimeKeyReader reader;
        return sortRows<TimeKey>(
            rows,
            [&reader, sortField](const TCatalogNode &row) {
                return row.isNull() ? TimeKey {} : reader(*row.tree(), row.index(), sortField);
            },
            [](const TimeKey &a, const TimeKey &b) { return CompareTimeKeys(a, b); }, order);
    }
    case SortKey::Unordered:
        return sortRows<char>(
            rows, [](const TCatalogNode &) { return char(0); }, [](char, char) { return 1; }, order);
    case SortKey::Name:
    case SortKey::Text:
        break;
    }
    if (SortKeyOf(sortField) == SortKey::Name) {
        return sortRows<NameKey>(
            rows,
            [sortField](const TCatalogNode &row) {
                return NameKeyOf(
                    row.isNull() ? QByteArrayView() : TextBytes(*row.tree(), row.index(), sortField));
            },
            [](const NameKey &a, const NameKey &b) { return CompareNameKeys(a, b); }, order, true);
    }
    return sortRows<QString>(
        rows, [sortField](const TCatalogNode &row) { return row.text(sortField); },
        [](const QString &a, const QString &b) { return CompareTexts(a, b); }, order);
}
