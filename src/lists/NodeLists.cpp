#include "NodeLists.h"

#include "CatalogFields.h"
#include "MergeSort.h"
#include "NodeOrder.h"
#include "TreeOrder.h"

#include <QString>

#include <algorithm>
#include <cstdint>

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

// A row's sort key with its node and kind, 16 bytes (24 for a name): a sort
// of a list of a million rows holds one and a half of these a row while it runs.
struct NumberItem
{
    double key;
    NodeIndex node;
    NodeKind kind;
};
struct TimeItem
{
    std::int64_t localSeconds;
    NodeIndex node;
    NodeKind kind;
    TimeKey::State state;
};
// A name's first sixteen bytes folded and its length: only names alike in sixteen
// bytes and longer are read again from the scan (eight bytes leave a tie a row in
// lists of real names, and a sort by name twice as slow).
struct NameItem
{
    std::uint64_t prefix[2];
    NodeIndex node;
    NodeKind kind;
    std::uint8_t asciiBytes;
    std::uint16_t length; // at most 65535
};
struct UnorderedItem
{
    NodeIndex node;
    NodeKind kind;
};
struct TextItem
{
    QString key;
    NodeIndex node;
    NodeKind kind;
};
static_assert(sizeof(NumberItem) == 16 && sizeof(TimeItem) == 16 && sizeof(NameItem) == 24);

// The rows of a long list lie all over the scan: each key costs a cache miss into
// the nodes and, for a name, one more into the names, which is most of the time of
// a sort by name. Asked for a few rows ahead, the misses overlap instead of being
// waited for one after the other; the names come later, once their node is there.
constexpr std::size_t NodeLookahead = 32;
constexpr std::size_t NameLookahead = 12;

// How the sort of the rows is asked to compare: `strictKeys` where the keys compare
// as a strict weak order (numbers, names, texts; not the time keys, where an
// unreadable text answers 1 both ways, nor the kind marker), so the merges may take
// less room; `readsNames` where making a key reads the name.
struct SortNeeds
{
    bool strictKeys = false;
    bool readsNames = false;
};

// Sorts the rows as items made by `makeItem(tree, node, row, kind)`, folders first,
// then by `compareItems`.
template <typename Item, typename MakeItem, typename CompareItems>
void sortRows(
    NodeRows &rows, MakeItem makeItem, CompareItems compareItems, Qt::SortOrder order, SortNeeds needs)
{
    if (!rows.tree)
        return;
    std::vector<Item> items;
    const CatalogTree &tree = *rows.tree;
    std::vector<NodeIndex> &nodes = rows.nodes;
    items.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i + NodeLookahead < nodes.size())
            __builtin_prefetch(&tree.node(nodes[i + NodeLookahead]));
        if (needs.readsNames && i + NameLookahead < nodes.size())
            __builtin_prefetch(tree.nameBytes(nodes[i + NameLookahead]).data());
        items.push_back(makeItem(tree, nodes[i], tree.node(nodes[i]).kind()));
    }
    // Folders first is a strict weak order of files and folders; an entry of no kind
    // compares as coming first with either.
    const bool strict = needs.strictKeys && std::none_of(items.begin(), items.end(), [](const Item &item) {
        return item.kind == NodeKind::Unknown;
    });
    const int sign = order == Qt::AscendingOrder ? 1 : -1;
    MergeSort(
        items,
        [&](const Item &a, const Item &b) {
            const int kinds = CompareKinds(a.kind, b.kind, order);
            return sign * (kinds != 0 ? kinds : compareItems(a, b));
        },
        strict ? std::max<std::size_t>(items.size() / 32, 1) : 0);
    for (std::size_t i = 0; i < items.size(); ++i)
        nodes[i] = items[i].node;
}

} // namespace

void SortRows(NodeRows &rows, int sortField, Qt::SortOrder order)
{
    // What CompareNodes compares, made once a row: typed keys where the row's
    // text follows from its node alone, the text where it does not (a row's
    // percentage is of its own list).
    const std::optional<double> total = rows.total;
    switch (SortKeyOf(sortField)) {
    case SortKey::Number:
        sortRows<NumberItem>(
            rows,
            [sortField, total](const CatalogTree &tree, NodeIndex node, NodeKind kind) {
                const double key = sortField == SizePercentage
                    ? NumberOfText(tree.fieldText(node, sortField, total))
                    : NumberKey(tree, node, sortField);
                return NumberItem {key, node, kind};
            },
            [](const NumberItem &a, const NumberItem &b) { return CompareNumberKeys(a.key, b.key); }, order,
            {true, false});
        return;
    case SortKey::Time: {
        TimeKeyReader reader;
        sortRows<TimeItem>(
            rows,
            [&reader, sortField](const CatalogTree &tree, NodeIndex node, NodeKind kind) {
                const TimeKey key = reader(tree, node, sortField);
                return TimeItem {key.localSeconds, node, kind, key.state};
            },
            [](const TimeItem &a, const TimeItem &b) {
                return CompareTimeKeys({a.state, a.localSeconds}, {b.state, b.localSeconds});
            },
            order, {false, false});
        return;
    }
    case SortKey::Unordered:
        sortRows<UnorderedItem>(
            rows,
            [](const CatalogTree &, NodeIndex node, NodeKind kind) {
                return UnorderedItem {node, kind};
            },
            [](const UnorderedItem &, const UnorderedItem &) { return 1; }, order, {false, false});
        return;
    case SortKey::Name: {
        const CatalogTree *tree = rows.tree.get();
        sortRows<NameItem>(
            rows,
            [sortField](const CatalogTree &t, NodeIndex node, NodeKind kind) {
                const QByteArrayView bytes = TextBytes(t, node, sortField);
                NameItem item {
                    {0, 0}, node, kind, 0, std::uint16_t(std::min<qsizetype>(bytes.size(), 65535))};
                item.asciiBytes = std::uint8_t(FoldNamePrefix(bytes, item.prefix, 2));
                return item;
            },
            [tree, sortField](const NameItem &a, const NameItem &b) {
                const unsigned ascii = std::min(a.asciiBytes, b.asciiBytes);
                const int prefixes = CompareNamePrefixes(a.prefix, b.prefix, ascii);
                if (prefixes != 0)
                    return prefixes;
                // Alike in sixteen ASCII bytes, the end counting as one: the shorter
                // name comes first when one ends within them.
                if (ascii == 16 && std::min(a.length, b.length) <= 16)
                    return a.length == b.length ? 0 : a.length < b.length ? -1 : 1;
                return CompareNamesAfterPrefix(
                    TextBytes(*tree, a.node, sortField), TextBytes(*tree, b.node, sortField), ascii, 16);
            },
            order, {true, true});
        return;
    }
    case SortKey::Text:
        break;
    }
    sortRows<TextItem>(
        rows,
        [sortField, total](const CatalogTree &tree, NodeIndex node, NodeKind kind) {
            return TextItem {tree.fieldText(node, sortField, total), node, kind};
        },
        [](const TextItem &a, const TextItem &b) { return CompareTexts(a.key, b.key); }, order,
        {true, false});
}
