#include "CatalogTreeModel.h"

#include "CellText.h"
#include "FileIcons.h"

#include <utility>

void CatalogTreeModel::setScan(std::shared_ptr<const CatalogTree> tree)
{
    beginResetModel();
    // The old order goes before the new one is made: both at once would double
    // the order's memory for a scan of millions of entries.
    m_order = TreeOrder();
    m_tree = std::move(tree);
    if (m_tree && !m_tree->isEmpty())
        m_order = TreeOrder(*m_tree);
    endResetModel();
}

void CatalogTreeModel::sortByField(int sortField, Qt::SortOrder order)
{
    if (!m_tree || m_tree->isEmpty())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indexes (selection, current item, expanded folders) name nodes,
    // not rows: after the sort each goes to the row its node now has.
    const QModelIndexList before = persistentIndexList();
    m_order.sortBy(*m_tree, sortField, order);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(indexOf(nodeOf(index), index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CatalogTreeModel::editScan(
    const std::function<std::vector<NodeIndex>()> &edit, int sortField, Qt::SortOrder order)
{
    if (!m_tree || m_tree->isEmpty())
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    try {
        const std::vector<NodeIndex> folders = edit();
        m_order.update(*m_tree, folders, sortField, order);
    } catch (...) {
        // An edit that fails leaves the tree as it was: so do the views.
        emit layoutChanged();
        throw;
    }
    // A persistent index names a slot the edit may have retired: it follows the
    // entry to its new slot, or becomes invalid when the entry is gone.
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(indexOf(m_tree->successor(nodeOf(index)), index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

NodeIndex CatalogTreeModel::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return NoNode;
    return NodeIndex(index.internalId());
}

QModelIndex CatalogTreeModel::indexOf(NodeIndex node, int column) const
{
    if (!holds(node) || column < 0 || column >= m_columns.size())
        return {};
    return createIndex(int(m_order.rowOf(node)), column, quintptr(node));
}

TCatalogNode CatalogTreeModel::record(const QModelIndex &index) const
{
    const NodeIndex node = nodeOf(index);
    return holds(node) ? TCatalogNode(m_tree, node) : TCatalogNode();
}

QModelIndex CatalogTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!m_tree || m_tree->isEmpty() || row < 0 || column < 0 || column >= m_columns.size())
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, column, quintptr(m_tree->top())) : QModelIndex();
    const NodeIndex folder = nodeOf(parent);
    if (parent.column() != 0 || !holds(folder) || std::uint32_t(row) >= m_tree->childCount(folder))
        return {};
    const NodeIndex child = m_order.childAt(*m_tree, folder, std::uint32_t(row));
    return createIndex(row, column, quintptr(child));
}

QModelIndex CatalogTreeModel::parent(const QModelIndex &child) const
{
    const NodeIndex node = nodeOf(child);
    if (!holds(node))
        return {};
    const NodeIndex folder = m_tree->parent(node);
    if (folder == NoNode)
        return {};
    return createIndex(int(m_order.rowOf(folder)), 0, quintptr(folder));
}

int CatalogTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!m_tree)
        return 0;
    if (!parent.isValid())
        return m_tree->isEmpty() ? 0 : 1;
    const NodeIndex node = nodeOf(parent);
    if (parent.column() != 0 || !holds(node) || !m_tree->isFolder(node))
        return 0;
    return int(m_tree->childCount(node));
}

int CatalogTreeModel::columnCount(const QModelIndex &) const
{
    return int(m_columns.size());
}

bool CatalogTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant CatalogTreeModel::data(const QModelIndex &index, int role) const
{
    const NodeIndex node = nodeOf(index);
    if (!holds(node) || index.column() >= m_columns.size())
        return {};
    const ListColumn &column = m_columns[index.column()];
    return ListCellData(
        column, role, m_tree.get(), node, m_icons, [&] { return CellText(column.field, *m_tree, node); });
}

Qt::ItemFlags CatalogTreeModel::flags(const QModelIndex &index) const
{
    const NodeIndex node = nodeOf(index);
    if (!holds(node))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Lets the views skip asking files for children at all.
    if (!m_tree->isFolder(node))
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}
