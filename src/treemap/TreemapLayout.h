#pragma once

#include "CatalogTree.h"

#include <QPointF>
#include <QRectF>

#include <atomic>
#include <cstdint>
#include <vector>

// A rectangle by its edges: neighbours computed from the same edge share it exactly,
// so tiles meet without gaps or overlaps once rounded to pixels.
struct TileRect
{
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;

    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    double area() const { return width() * height(); }
    bool contains(QPointF p) const { return p.x() >= x0 && p.x() < x1 && p.y() >= y0 && p.y() < y1; }
    QRectF toRectF() const { return QRectF(x0, y0, width(), height()); }
};

// One rectangle of a treemap.
struct TreemapTile
{
    enum Kind : std::uint8_t {
        Folder, // a folder whose children are tiles of their own (drawn by them)
        Entry, // a file, or a folder too small to show its children, drawn whole
        Rest, // the children of `node` too small to draw, merged into one area
    };

    TileRect rect;
    // Set for Rest: the merged children's count and bytes.
    std::uint64_t restBytes = 0;
    NodeIndex node = NoNode;
    std::uint32_t restCount = 0;
    std::uint16_t depth = 0; // 0 for the top; a Rest tile lies one below its folder
    Kind kind = Entry;
};

// The squarified treemap (Bruls, Huizing and van Wijk) of the subtree of `top` in
// `bounds`: each entry's area is its share of the top's size, rows of siblings laid
// along the shorter side so that rectangles stay close to squares. Tiles come in
// pre-order (a folder before its children), so the last tile that contains a point
// is the deepest entry there. Entries without size are left out; siblings whose
// rectangle would be smaller than `minSide` pixels across are merged into their
// folder's Rest tile, and a folder narrower than that is one Entry tile: the number
// of tiles is bounded by the area, whatever the number of entries. The tree is read
// from the top down, so retired slots are never met. `cancel`, when given and set,
// ends the layout early (the result is then incomplete).
std::vector<TreemapTile> LayOutTreemap(const CatalogTree &tree, NodeIndex top, const TileRect &bounds,
    double minSide, const std::atomic<bool> *cancel = nullptr);
