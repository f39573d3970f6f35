#pragma once

#include <QTableView>

class QHeaderView;

// A list of one level of rows, for lists that may hold millions of them. A tree view
// keeps an item of its own for every row it lays out (about 40 bytes each); this view
// keeps none: rows share one height, so a row's place is its number times that height
// (the hidden row header holds 8 bytes a row). It looks and behaves as the window's
// tree does: no grid, whole rows selected, columns that move and resize.
class FlatListView : public QTableView
{
    Q_OBJECT
public:
    explicit FlatListView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    // The column header, named as the tree's.
    QHeaderView *header() const { return horizontalHeader(); }

private:
    void fitRowHeight();
};

// The column header of a grid: the tree's or a flat list's.
QHeaderView *columnHeader(const QAbstractItemView *grid);
