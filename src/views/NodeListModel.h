#pragma once

#include "ColumnListModel.h"
#include "NodeRows.h"
#include "TCatalogNode.h"

#include <QAbstractTableModel>

#include <vector>

// A flat list of records (the current-folder list and the drill-down lists): node
// numbers of one scan, 4 bytes a row, with the list's own percentage total, so
// sorting or refilling a list never touches the Total Tree. The list keeps its scan
// alive.
class NodeListModel : public ColumnListModel<QAbstractTableModel>
{
    Q_OBJECT
public:
    using ColumnListModel::ColumnListModel;

    // Replaces every row (the rows' percentages as they come: see UpdatePercentages).
    void setRows(NodeRows rows);
    const NodeRows &rows() const { return m_rows; }
    TCatalogNode record(int row) const { return m_rows.record(std::size_t(row)); }

    // Sorts the rows by CompareNodes (descending negates it), with MergeSort. The
    // selection of views stays on its rows' records.
    void sortByField(int sortField, Qt::SortOrder order);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    NodeRows m_rows;
};
