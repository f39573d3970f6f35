#include "FlatListView.h"

#include <QHeaderView>
#include <QTreeView>

FlatListView::FlatListView(QWidget *parent) : QTableView(parent)
{
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void FlatListView::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelReset, this, &FlatListView::fitRowHeight);
    connect(model, &QAbstractItemModel::rowsInserted, this, &FlatListView::fitRowHeight);
    fitRowHeight();
}

// Rows as high as the tree's: what the delegate asks for its first row (a name and
// its icon), set once rows exist to measure.
void FlatListView::fitRowHeight()
{
    if (!model() || model()->rowCount() == 0)
        return;
    const int height = sizeHintForRow(0);
    if (height > 0 && height != verticalHeader()->defaultSectionSize())
        verticalHeader()->setDefaultSectionSize(height);
}

QHeaderView *columnHeader(const QAbstractItemView *grid)
{
    if (const auto *tree = qobject_cast<const QTreeView *>(grid))
        return tree->header();
    if (const auto *table = qobject_cast<const QTableView *>(grid))
        return table->horizontalHeader();
    return nullptr;
}
