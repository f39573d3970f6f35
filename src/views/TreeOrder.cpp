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

void TreeOrder::sortBy(const CatalogTree &tree, int sortField, Qt::SortOrder order)
{
    // The keys of every node are made once, so the inner loop compares plain
    // values; what it compares is what CompareTreeNodes compares.
    const auto sortSameKind = [&](auto &&compareValues) {
        const auto kinds = [&tree](NodeIndex a, NodeIndex b, Qt::SortOrder o) {
            return CompareKinds(tree.node(a).kind(), tree.node(b).kind(), o);
        };
        if (order == Qt::AscendingOrder) {
            sortWith(tree, [&](NodeIndex a, NodeIndex b) {
                const int k = kinds(a, b, Qt::AscendingOrder);
                return k != 0 ? k : compareValues(a, b);
            });
        } else {
            sortWith(tree, [&](NodeIndex a, NodeIndex b) {
                const int k = kinds(a, b, Qt::DescendingOrder);
                return k != 0 ? -k : -compareValues(a, b);
            });
        }
    };

    switch (FieldClassOf(sortField)) {
    case FieldClass::Number: {
        const std::vector<double> keys = NumberKeys(tree, sortField);
        sortSameKind([&keys](NodeIndex a, NodeIndex b) { return CompareNumberKeys(keys[a], keys[b]); });
        return;
    }
    case FieldClass::DateTime: {
        const std::vector<TimeKey> keys = TimeKeys(tree, sortField);
        sortSameKind([&keys](NodeIndex a, NodeIndex b) { return CompareTimeKeys(keys[a], keys[b]); });
        return;
    }
    case FieldClass::Kind:
        sortSameKind([](NodeIndex, NodeIndex) { return 1; });
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
            const auto node = NodeIndex(i);
            keys[i] = NameKeyOf(TextBytes(tree, node, sortField == FullPath ? FileName : sortField));
            wholePaths = wholePaths || (sortField == FullPath && StartsWithByteOrderMark(keys[i].bytes));
        }
        if (wholePaths) {
            sortSameKind([&tree](NodeIndex a, NodeIndex b) {
                return CompareTreeNodes(tree, a, b, FullPath, Qt::AscendingOrder);
            });
        } else {
            sortSameKind([&keys](NodeIndex a, NodeIndex b) { return CompareNameKeys(keys[a], keys[b]); });
        }
        return;
    }
    default: {
        std::vector<QString> texts(tree.nodeCount());
        for (std::size_t i = 0; i < texts.size(); ++i)
            texts[i] = tree.fieldText(NodeIndex(i), sortField);
        sortSameKind([&texts](NodeIndex a, NodeIndex b) { return CompareTexts(texts[a], texts[b]); });
        return;
    }
    }
}
