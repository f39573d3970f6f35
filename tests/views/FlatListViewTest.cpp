#include "FlatListView.h"

#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include <malloc.h>

#include <set>

namespace {

// Rows of texts made on demand, as the window's lists: the model keeps no row either.
class RowsModel : public QAbstractTableModel
{
public:
    RowsModel(int rows, int columns) : m_rows(rows), m_columns(columns) { }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_columns;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        rowsAsked.insert(index.row());
        return QStringLiteral("%1:%2").arg(index.row()).arg(index.column());
    }

    void resize(int rows)
    {
        if (rows > m_rows) {
            beginInsertRows({}, m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        } else if (rows < m_rows) {
            beginRemoveRows({}, rows, m_rows - 1);
            m_rows = rows;
            endRemoveRows();
        }
    }

    mutable std::set<int> rowsAsked;

private:
    int m_rows;
    int m_columns;
};

// A list set up as the window's: whole rows, extended selection, shown at a fixed size.
void showList(FlatListView &view, QAbstractItemModel *model, QSize size = QSize(300, 200))
{
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setModel(model);
    view.resize(size);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
}

// What the program holds from the heap, the blocks malloc maps apart included.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::vector<int> selectedRows(const FlatListView &view)
{
    std::vector<int> rows;
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        if (view.selectionModel()->isRowSelected(row, {}))
            rows.push_back(row);
    }
    return rows;
}

} // namespace

// Keys move the current row as in the tree, never past either end, and keep the
// column; Shift extends the selection over whole rows.
TEST(FlatListViewTest, KeysMoveTheCurrentRow)
{
    RowsModel model(100, 3);
    FlatListView view;
    showList(view, &model);
    const int page = view.viewport()->height() / view.rowHeight();
    ASSERT_GT(page, 2);
    const struct
    {
        int from;
        Qt::Key key;
        int to;
    } cases[] = {
        {5, Qt::Key_Down, 6},
        {5, Qt::Key_Up, 4},
        {0, Qt::Key_Up, 0},
        {99, Qt::Key_Down, 99},
        {50, Qt::Key_Home, 0},
        {50, Qt::Key_End, 99},
        {10, Qt::Key_PageDown, 10 + page},
        {10 + page, Qt::Key_PageUp, 10},
        {1, Qt::Key_PageUp, 0},
        {98, Qt::Key_PageDown, 99},
        {7, Qt::Key_Right, 7},
        {7, Qt::Key_Left, 7},
    };
    for (const auto &c : cases) {
        view.setCurrentIndex(model.index(c.from, 1));
        QTest::keyClick(&view, c.key);
        EXPECT_EQ(view.currentIndex().row(), c.to) << "from " << c.from << " key " << c.key;
        EXPECT_EQ(view.currentIndex().column(), 1);
        EXPECT_EQ(selectedRows(view), std::vector<int> {c.to}) << "from " << c.from << " key " << c.key;
    }

    view.setCurrentIndex(model.index(5, 0));
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(view), (std::vector<int> {5, 6, 7}));
    // From a row far out of sight: the selection still runs between the two rows.
    QTest::keyClick(&view, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(view).size(), 95u);
}

// Left and Right have no children to open: they scroll sideways when the columns are
// wider than the list.
TEST(FlatListViewTest, LeftAndRightScrollSideways)
{
    RowsModel model(10, 3);
    FlatListView view;
    showList(view, &model, QSize(150, 200));
    for (int column = 0; column < 3; ++column)
        view.header()->resizeSection(column, 200);
    view.setCurrentIndex(model.index(2, 0));
    QScrollBar *bar = view.horizontalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_EQ(bar->value(), bar->singleStep());
    EXPECT_EQ(view.header()->offset(), bar->value());
    QTest::keyClick(&view, Qt::Key_Left);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(view.currentIndex(), model.index(2, 0));
}

// A click selects its whole row, Shift extends to the rows between, Ctrl adds one;
// a click below the last row clears the choice.
TEST(FlatListViewTest, ClicksSelectWholeRows)
{
    RowsModel model(20, 3);
    FlatListView view;
    showList(view, &model, QSize(300, 400));
    const auto at = [&](int row, int column) { return view.visualRect(model.index(row, column)).center(); };

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(2, 1));
    EXPECT_EQ(selectedRows(view), std::vector<int> {2});
    EXPECT_EQ(view.selectionModel()->selectedIndexes().size(), 3);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, at(5, 2));
    EXPECT_EQ(selectedRows(view), (std::vector<int> {2, 3, 4, 5}));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, at(8, 0));
    EXPECT_EQ(selectedRows(view), (std::vector<int> {2, 3, 4, 5, 8}));
    EXPECT_EQ(view.currentIndex(), model.index(8, 0));

    const QPoint below(at(0, 0).x(), 20 * view.rowHeight() + 5);
    ASSERT_LT(below.y(), view.viewport()->height());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, below);
    EXPECT_TRUE(selectedRows(view).empty());
}

// Where a cell is drawn and which cell a point is in agree, scrolled both ways and
// with a column moved first and another hidden.
TEST(FlatListViewTest, CellsAndPointsAgreeScrolledWithColumnsMovedAndHidden)
{
    RowsModel model(1000, 3);
    FlatListView view;
    showList(view, &model, QSize(120, 200));
    QHeaderView *header = view.header();
    header->resizeSection(0, 80);
    header->resizeSection(1, 120);
    header->resizeSection(2, 60);
    header->moveSection(2, 0); // shown: column 2, column 0, column 1
    header->setSectionHidden(1, true);
    ASSERT_EQ(header->length(), 140);
    ASSERT_EQ(view.horizontalScrollBar()->maximum(), 140 - view.viewport()->width());
    view.verticalScrollBar()->setValue(1037);
    view.horizontalScrollBar()->setValue(30);

    const int h = view.rowHeight();
    const int firstRow = 1037 / h;
    const struct
    {
        int column;
        int left;
    } shown[] = {{2, -30}, {0, 30}};
    for (int row = firstRow; row <= firstRow + 3; ++row) {
        for (const auto &cell : shown) {
            const QModelIndex index = model.index(row, cell.column);
            const QRect rect = view.visualRect(index);
            EXPECT_EQ(rect, QRect(cell.left, row * h - 1037, header->sectionSize(cell.column), h));
            for (const QPoint &corner : {rect.topLeft(), rect.bottomRight(), rect.center()}) {
                if (view.viewport()->rect().contains(corner)) {
                    EXPECT_EQ(view.indexAt(corner), index) << row << "," << cell.column;
                }
            }
        }
    }
    EXPECT_TRUE(view.visualRect(model.index(firstRow, 1)).isNull());
    EXPECT_FALSE(view.indexAt(QPoint(140 - 30 + 1, 5)).isValid()); // past the last column

    // Each hint places the row where the tree would.
    const int height = view.viewport()->height();
    const struct
    {
        QAbstractItemView::ScrollHint hint;
        int row;
        int value;
    } hints[] = {
        {QAbstractItemView::PositionAtTop, 500, 500 * h},
        {QAbstractItemView::PositionAtBottom, 500, 501 * h - height},
        {QAbstractItemView::PositionAtCenter, 500, 500 * h - (height - h) / 2},
        {QAbstractItemView::EnsureVisible, 600, 601 * h - height},
        {QAbstractItemView::EnsureVisible, 10, 10 * h},
        {QAbstractItemView::EnsureVisible, 11, 10 * h}, // already in sight: no move
    };
    for (const auto &c : hints) {
        view.scrollTo(model.index(c.row, 0), c.hint);
        EXPECT_EQ(view.verticalScrollBar()->value(), c.value) << c.hint << " row " << c.row;
    }
    view.scrollTo(model.index(800, 1)); // a hidden column still brings its row in sight
    EXPECT_EQ(view.verticalScrollBar()->value(), 801 * h - height);
}

// Rows take the height the delegate asks for the first row, once there is one, and
// follow the font.
TEST(FlatListViewTest, RowHeightIsMeasuredOnceRowsExistAndFollowsTheFont)
{
    RowsModel model(0, 2);
    FlatListView view;
    showList(view, &model);
    EXPECT_EQ(view.rowHeight(), 0);
    model.resize(50);
    const int height = view.rowHeight();
    EXPECT_GT(height, 0);
    EXPECT_EQ(height, view.sizeHintForRow(0));
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 50 * height - view.viewport()->height());

    QFont larger = view.font();
    larger.setPointSize(larger.pointSize() * 3);
    view.setFont(larger);
    EXPECT_GT(view.rowHeight(), height);
    EXPECT_EQ(view.rowHeight(), view.sizeHintForRow(0));

    model.resize(2); // all in sight: nothing to scroll
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
}

// No model, no rows or no columns: nothing to show, to hit or to move to.
TEST(FlatListViewTest, EmptyListsShowNothingAndTakeNoKeys)
{
    RowsModel noRows(0, 3);
    RowsModel noColumns(5, 0);
    for (QAbstractItemModel *model : {static_cast<QAbstractItemModel *>(nullptr),
             static_cast<QAbstractItemModel *>(&noRows), static_cast<QAbstractItemModel *>(&noColumns)}) {
        FlatListView view;
        view.setAlternatingRowColors(true);
        showList(view, model);
        EXPECT_FALSE(view.grab().isNull());
        QTest::keyClick(&view, Qt::Key_Down);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        EXPECT_FALSE(view.currentIndex().isValid());
        EXPECT_FALSE(view.indexAt(QPoint(10, 10)).isValid());
        EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    }
}

// The selection is painted across every shown cell of its row, in the columns'
// shown order, and on no other row.
TEST(FlatListViewTest, SelectedRowIsPaintedAcrossItsCells)
{
    RowsModel model(10, 3);
    FlatListView view;
    showList(view, &model, QSize(400, 300));
    view.header()->moveSection(2, 0);
    view.selectionModel()->select(model.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QImage image = view.viewport()->grab().toImage();
    const QColor highlight = view.palette().color(QPalette::Active, QPalette::Highlight);
    for (int column = 0; column < 3; ++column) {
        for (int row : {2, 3, 4}) {
            const QRect cell = view.visualRect(model.index(row, column));
            const QColor pixel = image.pixelColor(cell.right() - 2, cell.center().y());
            EXPECT_EQ(pixel == highlight, row == 3) << "row " << row << " column " << column;
        }
    }
}

// A list of a million rows costs the view no memory per row, and painting it asks
// the model only for the rows in sight.
TEST(FlatListViewTest, AMillionRowsCostTheViewNothingPerRow)
{
    constexpr int rows = 1'000'000;
    RowsModel small(10, 4);
    RowsModel large(rows, 4);
    FlatListView view;
    showList(view, &small);
    view.grab(); // the window's paint buffers and text caches exist before counting

    const std::size_t before = heapInUse();
    view.setModel(&large);
    QApplication::processEvents();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    view.selectAll();
    large.rowsAsked.clear();
    view.grab();
    const std::size_t after = heapInUse();
    EXPECT_LT(after > before ? after - before : 0, std::size_t(rows / 8)) << "bytes for " << rows << " rows";

    ASSERT_FALSE(large.rowsAsked.empty());
    const int first = view.verticalScrollBar()->value() / view.rowHeight();
    EXPECT_GE(*large.rowsAsked.begin(), first);
    EXPECT_LE(*large.rowsAsked.rbegin(), first + view.viewport()->height() / view.rowHeight() + 1);
}
