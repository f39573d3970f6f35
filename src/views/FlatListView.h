#pragma once

#include <QAbstractItemView>

class QHeaderView;

// A list of one level of rows, for lists that may hold millions of them. A tree or
// table view keeps something of its own for every row (a tree's layout item, a
// table's row header section); this view keeps nothing per row: rows share one
// height, so a row's place is its number times that height, and only the rows on
// screen are ever asked for. It looks and behaves as the window's tree does: no
// grid, whole rows selected, the focus frame around the current row, columns that
// move, resize and hide in a header above the rows.
class FlatListView : public QAbstractItemView
{
    Q_OBJECT
public:
    explicit FlatListView(QWidget *parent = nullptr);
    ~FlatListView() override;

    void setModel(QAbstractItemModel *model) override;
    void setSelectionModel(QItemSelectionModel *selectionModel) override;
    // The column header, named as the tree's.
    QHeaderView *header() const { return m_header; }
    // The height every row has; 0 until there are rows to measure.
    int rowHeight() const { return m_rowHeight; }

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    int sizeHintForColumn(int column) const override;

public slots:
    void reset() override;
    void doItemsLayout() override;
    void resizeColumnToContents(int column);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    QSize viewportSizeHint() const override;

    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

protected slots:
    void updateGeometries() override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    struct Cell
    {
        int column;
        int x;
        int width;
    };

    int rowCount() const;
    bool holds(const QModelIndex &index) const;
    int rowAt(int y) const;
    QRect rowRect(int row) const;
    void updateRow(int row);
    void measureRows();
    void remeasure();
    void relayout();
    QList<Cell> shownColumns() const;
    void paintRow(QPainter &painter, const QStyleOptionViewItem &base, int row, const QList<Cell> &cells,
        const QRect &area) const;
    void paintFocusFrame(QPainter &painter, const QStyleOptionViewItem &base, int row) const;
    void paintEmptyRows(QPainter &painter, QStyleOptionViewItem option, int row, const QRect &area) const;

    QHeaderView *m_header;
    QMetaObject::Connection m_rowsRemoved;
    int m_rowHeight = 0;
    int m_hoverRow = -1;
    bool m_laying = false;
};

// The column header of a grid: the tree's or a flat list's.
QHeaderView *columnHeader(const QAbstractItemView *grid);
