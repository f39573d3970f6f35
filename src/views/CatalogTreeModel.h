#pragma once

#include "CatalogTree.h"
#include "ColumnListModel.h"
#include "TCatalogNode.h"
#include "TreeOrder.h"

#include <QAbstractItemModel>

#include <functional>
#include <memory>
#include <vector>

// The Total Tree: a model over one scan that reads the scan directly. Nothing is
// copied or stored per cell; the one thing kept per node is the sibling order
// (TreeOrder). The top node of the scan is the one top-level row. Texts come from
// CellText, tooltips are the cell text (with the reason for a folder that could
// not be read), icons are in the columns that show FileName.
class CatalogTreeModel : public ColumnListModel<QAbstractItemModel>
{
    Q_OBJECT
public:
    using ColumnListModel::ColumnListModel;

    // Shows a new scan in its own order; the previous one is let go whole.
    void setScan(std::shared_ptr<const CatalogTree> tree);
    const std::shared_ptr<const CatalogTree> &scan() const { return m_tree; }
    const TreeOrder &order() const { return m_order; }

    // Sorts every list of siblings by CompareTreeNodes; the selection and the
    // expanded folders of views stay on their nodes.
    void sortByField(int sortField, Qt::SortOrder order);

    // Runs `edit`, which changes the scan this model shows (CatalogTree::removeEntries,
    // replaceFolder) and returns the folders whose children changed, then puts those
    // folders' children in the order of `sortField`. Views keep their expanded
    // folders, selection and current row on the entries that remain (successor()).
    void editScan(const std::function<std::vector<NodeIndex>()> &edit, int sortField, Qt::SortOrder order);

    // NoNode for an invalid index or one of another model.
    NodeIndex nodeOf(const QModelIndex &index) const;
    // Invalid for NoNode or a node the scan does not have.
    QModelIndex indexOf(NodeIndex node, int column = 0) const;
    // A null record for an invalid index.
    TCatalogNode record(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool holds(NodeIndex node) const { return m_tree && node < m_tree->nodeCount(); }

    std::shared_ptr<const CatalogTree> m_tree;
    TreeOrder m_order;
};
