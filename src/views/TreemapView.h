#pragma once

#include "CatalogTree.h"
#include "TreemapLayout.h"
#include "TypeRanks.h"

#include <QImage>
#include <QRgb>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

// The treemap of one subtree of a scan: laid out and painted off the window thread
// at the widget's size, then shown as one picture; while the widget is hidden (its tab
// not shown) nothing is drawn, and the last request is drawn once it is shown. A newer request (another folder,
// another size) makes an older one stop early, and a picture that arrives after a
// newer request is dropped. Mouse positions map back to the tiles of the picture on
// the screen: hovering names the entry, a click chooses it, a double click opens
// the folder of the top's children under the pointer, the Up key asks to go up.
class TreemapView : public QWidget
{
    Q_OBJECT
public:
    // Tiles narrower than this many pixels are merged into their folder's rest.
    static constexpr double MinTileSide = 4;
    // The colour of folders drawn whole, of merged rests and of types without a colour.
    static constexpr QRgb RestColour = 0xa8a8a8;

    explicit TreemapView(QWidget *parent = nullptr);
    ~TreemapView() override;

    // Draws the subtree of `top`, files coloured by the position of their type in
    // `ranks` (the colour of position i is typeColours[i], the last colour for
    // positions past the end). The tree must not change until `forget` or the next
    // call: the drawing reads it on another thread.
    void showTree(std::shared_ptr<const CatalogTree> tree, NodeIndex top, TypeRanks ranks,
        std::vector<QRgb> typeColours);
    // Stops the drawing under way and lets the tree go: what an edit of the tree
    // needs first. The picture stays on the screen until the next one, but points
    // at nothing.
    void forget();

    NodeIndex top() const { return m_top; }
    // The picture last shown (null before the first).
    const QImage &picture() const { return m_picture; }
    const std::vector<TreemapTile> &tiles() const { return m_tiles; }
    // True while the last request waits for its picture (hidden, or being drawn).
    bool isDrawing() const { return m_drawing || m_waiting; }
    // The deepest tile under `point` (widget coordinates), or null.
    const TreemapTile *tileAt(QPointF point) const;
    // "path — size" for a tile (a merged rest says how many entries it holds).
    QString tileText(const TreemapTile &tile) const;

signals:
    void pictureReady();
    void entryHovered(const QString &text); // empty once the pointer leaves
    void entryClicked(NodeIndex node);
    void folderOpened(NodeIndex folder);
    void upRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Result;
    void redraw();
    void stop();
    void unhover();
    void accept(const std::shared_ptr<Result> &result);

    std::shared_ptr<const CatalogTree> m_tree;
    NodeIndex m_top = NoNode;
    TypeRanks m_ranks;
    std::vector<QRgb> m_colours;

    // What is on the screen: the picture, its tiles and the tree they refer to
    // (none after forget()).
    QImage m_picture;
    std::vector<TreemapTile> m_tiles;
    std::shared_ptr<const CatalogTree> m_tilesTree;
    NodeIndex m_chosen = NoNode;
    std::ptrdiff_t m_hovered = -1; // the tile under the pointer

    unsigned m_generation = 0; // of the last request
    bool m_drawing = false;
    bool m_waiting = false; // a request made while hidden
    std::shared_ptr<std::atomic<bool>> m_cancel; // of the drawing under way
    QThreadPool m_pool; // one thread: a new drawing waits for the stopped one
};
