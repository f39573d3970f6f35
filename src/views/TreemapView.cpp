#include "TreemapView.h"

#include "CellText.h"
#include "CushionPainter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

struct TreemapView::Result
{
    unsigned generation = 0;
    QImage picture;
    std::vector<TreemapTile> tiles;
    std::shared_ptr<const CatalogTree> tree;
};

TreemapView::TreemapView(QWidget *parent) : QWidget(parent)
{
    m_pool.setMaxThreadCount(1);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(40, 40);
}

TreemapView::~TreemapView()
{
    // The drawing reads the tree and posts to this object: it ends before either goes.
    stop();
    m_pool.waitForDone();
}

void TreemapView::showTree(
    std::shared_ptr<const CatalogTree> tree, NodeIndex top, TypeRanks ranks, std::vector<QRgb> typeColours)
{
    if (tree != m_tilesTree) {
        // Tiles of another tree name nodes this one does not have.
        unhover();
        m_tiles.clear();
        m_tilesTree.reset();
    }
    m_tree = std::move(tree);
    m_top = m_tree && top < m_tree->nodeCount() ? top : NoNode;
    m_ranks = std::move(ranks);
    m_colours = std::move(typeColours);
    m_chosen = NoNode;
    redraw();
}

void TreemapView::unhover()
{
    // The status bar must not keep naming what the pointer has left or no longer shows.
    if (m_hovered != -1) {
        m_hovered = -1;
        emit entryHovered(QString());
    }
}

void TreemapView::forget()
{
    unhover();
    stop();
    m_pool.waitForDone();
    m_drawing = false;
    m_waiting = false;
    m_tree.reset();
    m_top = NoNode;
    m_tiles.clear();
    m_tilesTree.reset();
    m_chosen = NoNode;
    update();
}

void TreemapView::stop()
{
    ++m_generation;
    if (m_cancel)
        m_cancel->store(true);
    m_cancel.reset();
}

void TreemapView::redraw()
{
    stop();
    m_drawing = false;
    m_waiting = false;
    if (!m_tree || m_top == NoNode || width() <= 0 || height() <= 0) {
        update();
        return;
    }
    if (!isVisible()) {
        m_waiting = true;
        return;
    }
    m_drawing = true;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    // Everything the drawing needs goes with it by value; the tree is only read.
    m_pool.start([this, generation = m_generation, cancel = m_cancel, tree = m_tree, top = m_top,
                     ranks = m_ranks, colours = m_colours, size = size()] {
        auto result = std::make_shared<Result>();
        result->generation = generation;
        result->tree = tree;
        result->tiles = LayOutTreemap(
            *tree, top, {0, 0, double(size.width()), double(size.height())}, MinTileSide, cancel.get());
        result->picture = QImage(size, QImage::Format_RGB32);
        result->picture.fill(QColor(RestColour));
        CushionPainter::paint(
            result->picture, result->tiles,
            [&](const TreemapTile &tile) {
                if (tile.kind != TreemapTile::Entry || !tree->isFile(tile.node) || colours.empty())
                    return RestColour;
                const int rank = ranks.rankOf(*tree, tile.node);
                if (rank < 0)
                    return RestColour;
                return colours[std::min(std::size_t(rank), colours.size() - 1)];
            },
            cancel.get());
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this, [this, result] { accept(result); }, Qt::QueuedConnection);
    });
}

void TreemapView::accept(const std::shared_ptr<Result> &result)
{
    if (result->generation != m_generation)
        return; // a newer request is under way, or the tree was let go
    m_drawing = false;
    unhover();
    m_picture = std::move(result->picture);
    m_tiles = std::move(result->tiles);
    m_tilesTree = std::move(result->tree);
    update();
    emit pictureReady();
}

const TreemapTile *TreemapView::tileAt(QPointF point) const
{
    if (!m_tilesTree)
        return nullptr;
    for (auto it = m_tiles.rbegin(); it != m_tiles.rend(); ++it) {
        if (it->rect.contains(point))
            return &*it;
    }
    return nullptr;
}

QString TreemapView::tileText(const TreemapTile &tile) const
{
    if (!m_tilesTree)
        return QString();
    const CatalogTree &tree = *m_tilesTree;
    if (tile.kind == TreemapTile::Rest)
        return QStringLiteral("%1 — %2 smaller entries, %3")
            .arg(tree.fullPath(tile.node))
            .arg(tile.restCount)
            .arg(SizeCellText(double(tile.restBytes)));
    return QStringLiteral("%1 — %2").arg(
        tree.fullPath(tile.node), SizeCellText(double(tree.node(tile.node).size)));
}

void TreemapView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    // While a new size is being drawn, the last picture stretches to fill the widget.
    painter.drawImage(rect(), m_picture);
    if (!m_tilesTree || m_chosen == NoNode || m_picture.size() != size())
        return;
    for (const TreemapTile &tile : m_tiles) {
        if (tile.node == m_chosen && tile.kind != TreemapTile::Rest) {
            painter.setPen(QPen(Qt::white, 2));
            painter.drawRect(tile.rect.toRectF().adjusted(1, 1, -1, -1));
            painter.setPen(QPen(Qt::black, 1));
            painter.drawRect(tile.rect.toRectF().adjusted(0, 0, -1, -1));
            break;
        }
    }
}

void TreemapView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_waiting)
        redraw();
}

void TreemapView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_tree)
        redraw();
}

void TreemapView::mouseMoveEvent(QMouseEvent *event)
{
    const TreemapTile *tile = tileAt(event->position());
    const std::ptrdiff_t hovered = tile ? tile - m_tiles.data() : -1;
    if (hovered == m_hovered)
        return;
    m_hovered = hovered;
    emit entryHovered(tile ? tileText(*tile) : QString());
}

void TreemapView::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    unhover();
}

void TreemapView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    unhover();
}

void TreemapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const TreemapTile *tile = tileAt(event->position());
    if (!tile)
        return;
    m_chosen = tile->node;
    update();
    emit entryClicked(tile->node);
}

void TreemapView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const TreemapTile *tile = tileAt(event->position());
    const NodeIndex top = m_tiles.empty() ? NoNode : m_tiles.front().node; // of the picture shown
    if (!tile || tile->node == top)
        return;
    // One level at a time, as a double click in the current folder's list: the child
    // of the top that holds the entry under the pointer.
    const CatalogTree &tree = *m_tilesTree;
    NodeIndex child = tile->node;
    while (child != NoNode && tree.parent(child) != top)
        child = tree.parent(child);
    if (child != NoNode && tree.isFolder(child))
        emit folderOpened(child);
}

void TreemapView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up && event->modifiers() == Qt::NoModifier) {
        emit upRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}
