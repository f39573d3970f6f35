#include "NodeListModel.h"

#include "CellText.h"
#include "FileIcons.h"
#include "NodeLists.h"

#include <unordered_map>
#include <utility>
#include <vector>

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

    // The rows are sorted in place; the few rows that persistent indexes point at
    // (current row, selection, hover) are found again by their nodes.
    const QModelIndexList before = persistentIndexList();
    std::vector<NodeIndex> nodesBefore;
    nodesBefore.reserve(std::size_t(before.size()));
    std::unordered_map<NodeIndex, int> newRowOf;
    for (const QModelIndex &index : before) {
        nodesBefore.push_back(m_rows.nodes[std::size_t(index.row())]);
        newRowOf.emplace(nodesBefore.back(), index.row());
    }
    SortRows(m_rows, sortField, order);
    if (!newRowOf.empty()) {
        for (std::size_t i = 0; i < m_rows.nodes.size(); ++i) {
            const auto found = newRowOf.find(m_rows.nodes[i]);
            if (found != newRowOf.end())
                found->second = int(i);
        }
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(this->index(newRowOf.at(nodesBefore[std::size_t(i)]), before[i].column()));
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
