#include "TreeOrder.h"

#include "CatalogFields.h"
#include "NodeOrder.h"

#include <QString>

TreeOrder::TreeOrder(const CatalogTree &tree)
    : m_byRow(tree.nodeCount())
    , m_rowOf(tree.nodeCount(), 0)
{
    const std::size_t count = tree.nodeCount();
    for (std::size_t i = 0; i < count; ++i) {
        m_byRow[i] = NodeIndex(i);
        const NodeIndex parent = tree.parent(NodeIndex(i));
        if (parent != NoNode)
            m_rowOf[i] = std::uint32_t(i - tree.node(parent).firstChild);
    }
}

void TreeOrder::sort(const CatalogTree &tree, const std::function<int(NodeIndex, NodeIndex)> &compare)
{
    sortWith(tree, compare);
}

template <typename Item, typename MakeItem, typename Compare>
void TreeOrder::sortItems(const CatalogTree &tree, MakeItem &&makeItem, Compare &&compare)
{
    const std::size_t count = tree.nodeCount();
    if (m_byRow.size() != count)
        *this = TreeOrder(tree);
    std::vector<Item> items, buffer;
    for (std::size_t i = 0; i < count; ++i) {
        const CatalogNodeData &folder = tree.node(NodeIndex(i));
        if (folder.childCount < 2)
            continue;
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
    }
}

template <typename Key, typename CompareKeys>
void TreeOrder::sortByKeys(const CatalogTree &tree, const std::vector<Key> &keys,
                           CompareKeys compareKeys, Qt::SortOrder order)
{
    struct Item
    {
        Key key;
        NodeIndex node;
        NodeKind kind;
    };
    const auto makeItem = [&](NodeIndex node) { return Item{keys[node], node, tree.node(node).kind()}; };
    // Descending negates the whole comparison, the folders-first step included.
    if (order == Qt::AscendingOrder) {
        sortItems<Item>(tree, makeItem, [&](const Item &a, const Item &b) {
            const int k = CompareKinds(a.kind, b.kind, Qt::AscendingOrder);
            return k != 0 ? k : compareKeys(a.key, b.key);
        });
    } else {
        sortItems<Item>(tree, makeItem, [&](const Item &a, const Item &b) {
            const int k = CompareKinds(a.kind, b.kind, Qt::DescendingOrder);
            return k != 0 ? -k : -compareKeys(a.key, b.key);
        });
    }
}

void TreeOrder::sortBy(const CatalogTree &tree, int sortField, Qt::SortOrder order)
{
    // The keys of every node are made once, so the sort compares plain values;
    // what it compares is what CompareTreeNodes compares.
    switch (FieldClassOf(sortField)) {
    case FieldClass::Number:
        sortByKeys(tree, NumberKeys(tree, sortField),
                   [](double a, double b) { return CompareNumberKeys(a, b); }, order);
        return;
    case FieldClass::DateTime:
        sortByKeys(tree, TimeKeys(tree, sortField),
                   [](const TimeKey &a, const TimeKey &b) { return CompareTimeKeys(a, b); }, order);
        return;
    case FieldClass::Kind:
        sortByKeys(tree, std::vector<char>(tree.nodeCount()), [](char, char) { return 1; }, order);
        return;
    case FieldClass::Text:
        break;
    }

    switch (sortField) {
    case FileName:
    case DOSName:
    case FileExt:
    case FullPath: {
        // Compared on the raw names, without making texts. Siblings share their
        // path up to a separator, so their names decide their FullPath order too.
        std::vector<NameKey> keys(tree.nodeCount());
        bool wholePaths = false;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            keys[i] = NameKeyOf(TextBytes(tree, NodeIndex(i), sortField == FullPath ? FileName : sortField));
            wholePaths = wholePaths || (sortField == FullPath && StartsWithByteOrderMark(keys[i].bytes));
        }
        if (!wholePaths) {
            sortByKeys(tree, keys,
                       [](const NameKey &a, const NameKey &b) { return CompareNameKeys(a, b); }, order);
            return;
        }
        break;
    }
    default: {
        std::vector<QString> texts(tree.nodeCount());
        for (std::size_t i = 0; i < texts.size(); ++i)
            texts[i] = tree.fieldText(NodeIndex(i), sortField);
        sortByKeys(tree, texts, [](const QString &a, const QString &b) { return CompareTexts(a, b); }, order);
        return;
    }
    }

    sortWith(tree, [&](NodeIndex a, NodeIndex b) {
        const int r = CompareTreeNodes(tree, a, b, sortField, order);
        return order == Qt::AscendingOrder ? r : -r;
    });
}
