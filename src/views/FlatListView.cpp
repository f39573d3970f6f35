#include "FlatListView.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <climits>

FlatListView::FlatListView(QWidget *parent)
    : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this))
{
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollMode(ScrollPerPixel);
    viewport()->setAttribute(Qt::WA_Hover);
    m_header->setSectionsClickable(true);
    m_header->setSectionsMovable(true);
    m_header->setHighlightSections(false);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(m_header, &QHeaderView::sectionResized, this, &FlatListView::relayout);
    connect(m_header, &QHeaderView::sectionMoved, this, &FlatListView::relayout);
    connect(m_header, &QHeaderView::sectionCountChanged, this, &FlatListView::remeasure);
    connect(m_header, &QHeaderView::sectionHandleDoubleClicked, this, &FlatListView::resizeColumnToContents);
    connect(m_header, &QHeaderView::geometriesChanged, this, &FlatListView::updateGeometries);
    connect(this, &QAbstractItemView::iconSizeChanged, this, &FlatListView::remeasure);
}

// The header goes after this part of the view: what it says then reaches no one.
FlatListView::~FlatListView()
{
    disconnect(m_header, nullptr, this, nullptr);
    disconnect(this, nullptr, this, nullptr);
    disconnect(m_rowsRemoved);
}

void FlatListView::setModel(QAbstractItemModel *model)
{
    if (model == this->model())
        return;
    disconnect(m_rowsRemoved);
    m_header->setModel(model);
    QAbstractItemView::setModel(model);
    if (model)
        m_rowsRemoved = connect(model, &QAbstractItemModel::rowsRemoved, this, &FlatListView::relayout);
    remeasure();
}

void FlatListView::setSelectionModel(QItemSelectionModel *selectionModel)
{
    m_header->setSelectionModel(selectionModel);
    QAbstractItemView::setSelectionModel(selectionModel);
}

void FlatListView::reset()
{
    QAbstractItemView::reset();
    m_hoverRow = -1;
    measureRows();
    relayout();
}

void FlatListView::doItemsLayout()
{
    measureRows();
    QAbstractItemView::doItemsLayout();
}

void FlatListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    measureRows();
    relayout();
}

// Rows as high as the tree's: what the delegates ask for the first row (a name and
// its icon), measured once there is a row and again when what sets it changes.
void FlatListView::measureRows()
{
    if (m_rowHeight > 0 || !model() || model()->rowCount(rootIndex()) == 0
        || model()->columnCount(rootIndex()) == 0)
        return;
    m_rowHeight = qMax(1, sizeHintForRow(0));
}

void FlatListView::remeasure()
{
    m_rowHeight = 0;
    measureRows();
    relayout();
}

void FlatListView::relayout()
{
    updateGeometries();
    viewport()->update();
}

void FlatListView::changeEvent(QEvent *event)
{
    QAbstractItemView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        remeasure();
}

int FlatListView::rowCount() const
{
    return m_rowHeight > 0 && model() ? model()->rowCount(rootIndex()) : 0;
}

// An index of one of the rows laid out.
bool FlatListView::holds(const QModelIndex &index) const
{
    return index.isValid() && index.model() == model() && index.parent() == rootIndex() && m_rowHeight > 0;
}

int FlatListView::rowAt(int y) const
{
    if (m_rowHeight <= 0)
        return -1;
    const qint64 content = qint64(y) + verticalOffset();
    const qint64 row = content < 0 ? -1 : content / m_rowHeight;
    return row < rowCount() ? int(row) : -1;
}

QRect FlatListView::rowRect(int row) const
{
    return QRect(0, int(qint64(row) * m_rowHeight - verticalOffset()), viewport()->width(), m_rowHeight);
}

void FlatListView::updateRow(int row)
{
    if (row >= 0 && m_rowHeight > 0)
        viewport()->update(rowRect(row));
}

int FlatListView::horizontalOffset() const
{
    return m_header->offset();
}

int FlatListView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool FlatListView::isIndexHidden(const QModelIndex &index) const
{
    return m_header->isSectionHidden(index.column());
}

QRect FlatListView::visualRect(const QModelIndex &index) const
{
    if (!holds(index) || isIndexHidden(index))
        return QRect();
    const QRect row = rowRect(index.row());
    return QRect(m_header->sectionViewportPosition(index.column()), row.y(),
        m_header->sectionSize(index.column()), row.height());
}

QModelIndex FlatListView::indexAt(const QPoint &point) const
{
    const int row = rowAt(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (row < 0 || column < 0)
        return QModelIndex();
    return model()->index(row, column, rootIndex());
}

void FlatListView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!holds(index))
        return;
    const QRect area = viewport()->rect();
    const qint64 top = qint64(index.row()) * m_rowHeight;
    qint64 value = verticalOffset();
    if (hint == PositionAtTop || (hint == EnsureVisible && (top < value || m_rowHeight > area.height())))
        value = top;
    else if (hint == PositionAtBottom || (hint == EnsureVisible && top + m_rowHeight > value + area.height()))
        value = top + m_rowHeight - area.height();
    else if (hint == PositionAtCenter)
        value = top - (area.height() - m_rowHeight) / 2;
    verticalScrollBar()->setValue(int(std::clamp<qint64>(0, value, INT_MAX)));

    // Sideways as the tree: the cell's start in view, its end too when it fits; a
    // hidden column leaves the list where it is.
    if (isIndexHidden(index))
        return;
    const int position = m_header->sectionPosition(index.column());
    const int width = m_header->sectionSize(index.column());
    const int offset = m_header->offset();
    if (hint == PositionAtCenter)
        horizontalScrollBar()->setValue(position - (area.width() - width) / 2);
    else if (position < offset || width > area.width())
        horizontalScrollBar()->setValue(position);
    else if (position + width > offset + area.width())
        horizontalScrollBar()->setValue(position + width - area.width());
}

QModelIndex FlatListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = rowCount();
    if (rows == 0)
        return QModelIndex();
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        for (int visual = 0; visual < m_header->count(); ++visual) {
            const int column = m_header->logicalIndex(visual);
            if (!m_header->isSectionHidden(column))
                return model()->index(0, column, rootIndex());
        }
        return QModelIndex();
    }
    if (isRightToLeft() && (cursorAction == MoveLeft || cursorAction == MoveRight))
        cursorAction = cursorAction == MoveLeft ? MoveRight : MoveLeft;
    const int page = qMax(1, viewport()->height() / m_rowHeight);
    int row = current.row();
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= page;
        break;
    case MovePageDown:
        row += page;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight: { // rows have no children to open: the keys scroll sideways
        QScrollBar *bar = horizontalScrollBar();
        bar->setValue(bar->value() + (cursorAction == MoveLeft ? -bar->singleStep() : bar->singleStep()));
        return current;
    }
    }
    return model()->index(qBound(0, row, rows - 1), current.column(), rootIndex());
}

// Whole rows, from the one at the rectangle's top to the one at its bottom; a
// rectangle reaching past either end of the list stops at the first or last row.
void FlatListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const int rows = rowCount();
    if (!selectionModel() || rows == 0)
        return;
    const qint64 top = qint64(qMin(rect.top(), rect.bottom())) + verticalOffset();
    const qint64 bottom = qint64(qMax(rect.top(), rect.bottom())) + verticalOffset();
    if (bottom < 0 || top >= qint64(rows) * m_rowHeight) {
        if (command & QItemSelectionModel::Clear)
            selectionModel()->clear();
        return;
    }
    const int first = int(std::clamp<qint64>(0, top / m_rowHeight, rows - 1));
    const int last = int(std::clamp<qint64>(0, bottom / m_rowHeight, rows - 1));
    const int columns = model()->columnCount(rootIndex());
    selectionModel()->select(
        QItemSelection(model()->index(first, 0, rootIndex()), model()->index(last, columns - 1, rootIndex())),
        command);
}

QRegion FlatListView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    if (m_rowHeight <= 0)
        return region;
    const QRect area = viewport()->rect();
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.parent() != rootIndex())
            continue;
        const qint64 top = qint64(range.top()) * m_rowHeight - verticalOffset();
        const qint64 bottom = qint64(range.bottom() + 1) * m_rowHeight - verticalOffset();
        if (bottom <= area.top() || top > area.bottom())
            continue;
        int left = INT_MAX;
        int right = INT_MIN;
        for (int column = range.left(); column <= range.right(); ++column) {
            if (m_header->isSectionHidden(column))
                continue;
            const int x = m_header->sectionViewportPosition(column);
            left = qMin(left, x);
            right = qMax(right, x + m_header->sectionSize(column));
        }
        if (left < right)
            region += QRect(left, int(qMax<qint64>(top, area.top() - 1)), right - left,
                int(qMin<qint64>(bottom, area.bottom() + 2) - qMax<qint64>(top, area.top() - 1)));
    }
    return region;
}

void FlatListView::updateGeometries()
{
    if (m_laying)
        return;
    m_laying = true;
    int headerHeight = 0;
    if (!m_header->isHidden())
        headerHeight =
            qBound(m_header->minimumHeight(), m_header->sizeHint().height(), m_header->maximumHeight());
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    QMetaObject::invokeMethod(m_header, "updateGeometries");

    QScrollBar *rows = verticalScrollBar();
    rows->setSingleStep(qMax(1, m_rowHeight));
    rows->setPageStep(area.height());
    rows->setRange(0, int(std::clamp<qint64>(0, qint64(rowCount()) * m_rowHeight - area.height(), INT_MAX)));
    QScrollBar *columns = horizontalScrollBar();
    columns->setSingleStep(qMax(2, area.width() / (m_header->count() + 1)));
    columns->setPageStep(area.width());
    columns->setRange(0, qMax(0, m_header->length() - area.width()));
    m_laying = false;
    QAbstractItemView::updateGeometries();
}

void FlatListView::scrollContentsBy(int dx, int dy)
{
    if (dx)
        m_header->setOffset(horizontalScrollBar()->value());
    viewport()->scroll(isRightToLeft() ? -dx : dx, dy);
}

QSize FlatListView::viewportSizeHint() const
{
    return QSize(m_header->length(), int(qMin<qint64>(qint64(rowCount()) * m_rowHeight, INT_MAX)));
}

// The widest cell of the rows on screen and of those after them (before them at the
// end of the list), as many rows as the header's precision asks for: a column of a
// million rows is not measured whole.
int FlatListView::sizeHintForColumn(int column) const
{
    if (!model() || column < 0 || column >= model()->columnCount(rootIndex()))
        return -1;
    const int rows = model()->rowCount(rootIndex());
    const int first = m_rowHeight > 0 ? qBound(0, verticalOffset() / m_rowHeight, rows) : 0;
    const int onScreen = m_rowHeight > 0 ? viewport()->height() / m_rowHeight + 1 : 1;
    const int precision = m_header->resizeContentsPrecision();
    int budget = precision < 0 ? rows : qMax(precision, onScreen);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int width = -1;
    const auto measure = [&](int row) {
        const QModelIndex index = model()->index(row, column, rootIndex());
        width = qMax(width, itemDelegateForIndex(index)->sizeHint(option, index).width());
        --budget;
    };
    for (int row = first; row < rows && budget > 0; ++row)
        measure(row);
    for (int row = first - 1; row >= 0 && budget > 0; --row)
        measure(row);
    return width;
}

void FlatListView::resizeColumnToContents(int column)
{
    if (column < 0 || column >= m_header->count())
        return;
    const int title = m_header->isHidden() ? 0 : m_header->sectionSizeHint(column);
    m_header->resizeSection(column, qMax(sizeHintForColumn(column), title));
}

bool FlatListView::viewportEvent(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::HoverEnter || type == QEvent::HoverMove || type == QEvent::HoverLeave) {
        const int row = type == QEvent::HoverLeave
            ? -1
            : indexAt(static_cast<QHoverEvent *>(event)->position().toPoint()).row();
        if (row != m_hoverRow) {
            updateRow(m_hoverRow);
            m_hoverRow = row;
            updateRow(row);
        }
    }
    return QAbstractItemView::viewportEvent(event);
}

// The focus frame goes round the whole current row: its rows are repainted whole.
void FlatListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    updateRow(previous.row());
    updateRow(current.row());
}

void FlatListView::focusInEvent(QFocusEvent *event)
{
    QAbstractItemView::focusInEvent(event);
    updateRow(currentIndex().row());
}

void FlatListView::focusOutEvent(QFocusEvent *event)
{
    QAbstractItemView::focusOutEvent(event);
    updateRow(currentIndex().row());
}

QList<FlatListView::Cell> FlatListView::shownColumns() const
{
    QList<Cell> cells;
    for (int visual = 0; visual < m_header->count(); ++visual) {
        const int column = m_header->logicalIndex(visual);
        if (!m_header->isSectionHidden(column))
            cells.append({column, m_header->sectionViewportPosition(column), m_header->sectionSize(column)});
    }
    return cells;
}

void FlatListView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect area = event->rect();
    const int rows = rowCount();
    int end = 0;
    if (rows > 0) {
        const QList<Cell> cells = shownColumns();
        const qint64 offset = verticalOffset();
        const int first = int(std::clamp<qint64>(0, (area.top() + offset) / m_rowHeight, rows));
        const int last = int(qMin<qint64>(rows - 1, (area.bottom() + offset) / m_rowHeight));
        for (int row = first; row <= last; ++row)
            paintRow(painter, option, row, cells, area);
        end = rows;
    }
    paintEmptyRows(painter, option, end, area);
}

void FlatListView::paintRow(QPainter &painter, const QStyleOptionViewItem &base, int row,
    const QList<Cell> &cells, const QRect &area) const
{
    const QRect line = rowRect(row);
    for (int i = 0; i < cells.size(); ++i) {
        const Cell &cell = cells[i];
        if (cell.x + cell.width <= area.left() || cell.x > area.right())
            continue;
        const QModelIndex index = model()->index(row, cell.column, rootIndex());
        QStyleOptionViewItem option = base;
        option.rect = QRect(cell.x, line.y(), cell.width, line.height());
        option.showDecorationSelected = true; // whole rows are selected, not their texts
        option.state.setFlag(QStyle::State_Selected, selectionModel()->isSelected(index));
        option.state.setFlag(QStyle::State_MouseOver, row == m_hoverRow);
        option.viewItemPosition = cells.size() == 1 ? QStyleOptionViewItem::OnlyOne
            : i == 0                                ? QStyleOptionViewItem::Beginning
            : i == cells.size() - 1                 ? QStyleOptionViewItem::End
                                                    : QStyleOptionViewItem::Middle;
        if (option.state & QStyle::State_Enabled) {
            if (!(model()->flags(index) & Qt::ItemIsEnabled)) {
                option.state &= ~QStyle::State_Enabled;
                option.palette.setCurrentColorGroup(QPalette::Disabled);
            } else {
                option.palette.setCurrentColorGroup(
                    option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive);
            }
        }
        if (alternatingRowColors())
            option.features.setFlag(QStyleOptionViewItem::Alternate, row & 1);
        // The row's own background (its alternate colour) under the cell; the
        // delegate paints the selection.
        QStyleOptionViewItem background = option;
        background.state &= ~QStyle::State_Selected;
        style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &background, &painter, this);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
    const QModelIndex current = currentIndex();
    if (hasFocus() && current.isValid() && current.row() == row)
        paintFocusFrame(painter, base, row);
}

void FlatListView::paintFocusFrame(QPainter &painter, const QStyleOptionViewItem &base, int row) const
{
    QStyleOptionFocusRect frame;
    frame.QStyleOption::operator=(base);
    frame.state |= QStyle::State_KeyboardFocusChange;
    const QPalette::ColorGroup group =
        base.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    const bool selected = selectionModel()->isSelected(model()->index(row, 0, rootIndex()));
    frame.backgroundColor = base.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
    const QRect line = rowRect(row);
    frame.rect = style()->visualRect(layoutDirection(), viewport()->rect(),
        QRect(-m_header->offset(), line.y(), m_header->length(), line.height()));
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter);
}

// Below the last row, as the tree: the alternate colours go on when the style asks.
void FlatListView::paintEmptyRows(
    QPainter &painter, QStyleOptionViewItem option, int row, const QRect &area) const
{
    if (!alternatingRowColors()
        || !style()->styleHint(QStyle::SH_ItemView_PaintAlternatingRowColorsForEmptyArea, &option, this))
        return;
    const int height =
        m_rowHeight > 0 ? m_rowHeight : itemDelegate()->sizeHint(option, QModelIndex()).height();
    if (height <= 0)
        return;
    qint64 y = qint64(row) * height - verticalOffset();
    if (y < area.top()) { // start at the first empty row the area shows
        const qint64 skipped = (area.top() - y) / height;
        row += int(skipped);
        y += skipped * height;
    }
    for (; y <= area.bottom(); y += height, ++row) {
        option.rect = QRect(0, int(y), viewport()->width(), height);
        option.features.setFlag(QStyleOptionViewItem::Alternate, row & 1);
        style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, this);
    }
}

QHeaderView *columnHeader(const QAbstractItemView *grid)
{
    if (const auto *tree = qobject_cast<const QTreeView *>(grid))
        return tree->header();
    if (const auto *list = qobject_cast<const FlatListView *>(grid))
        return list->header();
    return nullptr;
}
