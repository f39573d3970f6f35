#include "TreeOrder.h"

#include "CatalogFields.h"
#include "NodeOrder.h"

#include <QString>

TreeOrder::TreeOrder(const CatalogTree &tree)
{
    // Room for the nodes edits add, so the first of them do not copy the arrays:
    // memory that is reserved but not written takes no pages.
    const std::size_t count = tree.nodeCount();
    m_byRow.reserve(count + count / 8);
    m_rowOf.reserve(count + count / 8);
    m_byRow.resize(count);
    m_rowOf.resize(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        m_byRow[i] = NodeIndex(i);
        const NodeIndex parent = tree.parent(NodeIndex(i));
        if (parent != NoNode && !tree.isRetired(NodeIndex(i)))
            m_rowOf[i] = std::uint32_t(i - tree.node(parent).firstChild);
    }
}

void TreeOrder::update(
    const CatalogTree &tree, const std::vector<NodeIndex> &folders, int sortField, Qt::SortOrder order)
{
    if (m_byRow.empty() || m_byRow.size() > tree.nodeCount()) {
        *this = TreeOrder(tree);
        sortBy(tree, sortField, order);
        return;
    }
    m_byRow.resize(tree.nodeCount());
    m_rowOf.resize(tree.nodeCount(), 0);
    // The new lists start in the tree's order, so ties keep it as a whole sort does.
    for (const NodeIndex folder : folders) {
        const CatalogNodeData &d = tree.node(folder);
        for (std::uint32_t row = 0; row < d.childCount; ++row) {
            m_byRow[d.firstChild + row] = d.firstChild + row;
            m_rowOf[d.firstChild + row] = row;
        }
    }
    sortBy(tree, &folders, sortField, order);
}

void TreeOrder::sort(const CatalogTree &tree, const std::function<int(NodeIndex, NodeIndex)> &compare)
{
    sortWith(tree, compare);
}

template <typename Item, typename MakeItem, typename Compare>
void TreeOrder::sortItems(const CatalogTree &tree, Folders folders, MakeItem &&makeItem, Compare &&compare)
{
    if (m_byRow.size() != tree.nodeCount())
        *this = TreeOrder(tree);
    std::vector<Item> items, buffer;
    forEachFolder(tree, folders, [&](const CatalogNodeData &folder) {
        NodeIndex *block = m_byRow.data() + folder.firstChild;
        items.clear();
        for (std::uint32_t row = 0; row < folder.childCount; ++row)
            items.push_back(makeItem(block[row]));
        if (buffer.size() < items.size())
            buffer.resize(items.size());
        MergeSort(items.data(), items.size(), buffer.data(), compare);
        for (std::uint32_t row = 0; row < folder.childCount; ++row) {
            block[row] = items[row].node;
            m_rowOf[block[row]] = row;
        }
    });
}

template <typename Key, typename KeyOf, typename CompareKeys>
void TreeOrder::sortByKeys(
    const CatalogTree &tree, Folders folders, KeyOf &&keyOf, CompareKeys compareKeys, Qt::SortOrder order)
{
    struct Item
    {
        Key key;
        NodeIndex node;
        NodeKind kind;
    };
    const auto makeItem = [&](NodeIndex node) {
        return Item {Key(keyOf(node)), node, tree.node(node).kind()};
    };
    // Descending negates the whole comparison, the folders-first step included.
    if (order == Qt::AscendingOrder) {
        sortItems<Item>(tree, folders, makeItem, [&](const Item &a, const Item &b) {
            const int k = CompareKinds(a.kind, b.kind, Qt::AscendingOrder);
            return k != 0 ? k : compareKeys(a.key, b.key);
        });
    } else {
        sortItems<Item>(tree, folders, makeItem, [&](const Item &a, const Item &b) {
            const int k = CompareKinds(a.kind, b.kind, Qt::DescendingOrder);
            return k != 0 ? -k : -compareKeys(a.key, b.key);
        });
    }
}

void TreeOrder::sortBy(const CatalogTree &tree, int sortField, Qt::SortOrder order)
{
    sortBy(tree, nullptr, sortField, order);
}

void TreeOrder::sortBy(const CatalogTree &tree, Folders folders, int sortField, Qt::SortOrder order)
{
    // The key of every node is made once per sort, so the merge compares plain
    // values; what it compares is what CompareTreeNodes compares.
    switch (SortKeyOf(sortField)) {
    case SortKey::Number:
        if (sortField == PathNameLength && !folders) {
            // Path lengths are made parent by parent, for all nodes at once.
            const std::vector<double> keys = NumberKeys(tree, sortField);
            sortByKeys<double>(
                tree, folders, [&keys](NodeIndex n) { return keys[n]; },
                [](double a, double b) { return CompareNumberKeys(a, b); }, order);
        } else {
            sortByKeys<double>(
                tree, folders, [&](NodeIndex n) { return NumberKey(tree, n, sortField); },
                [](double a, double b) { return CompareNumberKeys(a, b); }, order);
        }
        return;
    case SortKey::Time: {
        TimeKeyReader reader;
        sortByKeys<TimeKey>(
            tree, folders, [&](NodeIndex n) { return reader(tree, n, sortField); },
            [](const TimeKey &a, const TimeKey &b) { return CompareTimeKeys(a, b); }, order);
        return;
    }
    case SortKey::Unordered:
        sortByKeys<char>(
            tree, folders, [](NodeIndex) { return char(0); }, [](char, char) { return 1; }, order);
        return;
    case SortKey::Name:
    case SortKey::Text:
        break;
    }

    if (SortKeyOf(sortField) == SortKey::Name || sortField == FullPath) {
        // Compared on the raw names, without making texts. Siblings share their
        // path up to a separator, so their names decide their FullPath order too.
        // Only the lists sorted need be looked at: in a list without such a name the
        // two orders agree.
        const int nameField = sortField == FullPath ? FileName : sortField;
        bool wholePaths = false;
        if (sortField == FullPath) {
            forEachFolder(tree, folders, [&](const CatalogNodeData &folder) {
                for (std::uint32_t row = 0; !wholePaths && row < folder.childCount; ++row)
                    wholePaths = StartsWithByteOrderMark(TextBytes(tree, folder.firstChild + row, nameField));
            });
        }
        if (!wholePaths) {
            sortByKeys<NameKey>(
                tree, folders, [&](NodeIndex n) { return NameKeyOf(TextBytes(tree, n, nameField)); },
                [](const NameKey &a, const NameKey &b) { return CompareNameKeys(a, b); }, order);
            return;
        }
    } else {
        sortByKeys<QString>(
            tree, folders, [&](NodeIndex n) { return tree.fieldText(n, sortField); },
            [](const QString &a, const QString &b) { return CompareTexts(a, b); }, order);
        return;
    }

    sortWith(tree, folders, [&](NodeIndex a, NodeIndex b) {
        const int r = CompareTreeNodes(tree, a, b, sortField, order);
        return order == Qt::AscendingOrder ? r : -r;
    });
}
