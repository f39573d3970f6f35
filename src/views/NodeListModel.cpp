#include "NodeListModel.h"

#include "CellText.h"
#include "FileIcons.h"
#include "NodeLists.h"

#include <utility>

void NodeListModel::setRows(NodeRows rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void NodeListModel::sortByField(int sortField, Qt::SortOrder order)
{
    if (m_rows.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    // Sort row numbers rather than records, so the old row of every record is known
    // afterwards and persistent indexes can follow their records.
    // One key a row, made once: the order CompareNodes gives, without its cost per pair.
    std::vector<int> newRowOf(m_rows.size());
    {
        const std::vector<int> oldRowAt = SortedRows(m_rows, sortField, order);
        for (std::size_t i = 0; i < oldRowAt.size(); ++i)
            newRowOf[std::size_t(oldRowAt[i])] = int(i);
    }

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(this->index(newRowOf[std::size_t(index.row())], index.column()));

    // The rows move in place, one cycle of the permutation after another.
    std::vector<NodeIndex> &nodes = m_rows.nodes;
    for (std::size_t i = 0; i < newRowOf.size(); ++i) {
        while (std::size_t(newRowOf[i]) != i) {
            const std::size_t target = std::size_t(newRowOf[i]);
            std::swap(nodes[i], nodes[target]);
            std::swap(newRowOf[i], newRowOf[target]);
        }
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int NodeListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int NodeListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant NodeListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const NodeIndex node = m_rows.nodes[std::size_t(index.row())];
    const ListColumn &column = m_columns[index.column()];
    return ListCellData(column, role, m_rows.tree.get(), node, m_icons, [&] {
        if (column.field < 0 || column.field >= CatalogFieldCount)
            return QString();
        return CellText(column.field, *m_rows.tree, node, m_rows.total);
    });
}

Qt::ItemFlags NodeListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
