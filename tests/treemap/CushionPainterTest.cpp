#include "CushionPainter.h"

#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cmath>
#include <map>

namespace {

// Six painted tiles at fractional edges in an image of odd size: two folders (one
// with its rest merged) and files beside them.
struct Picture
{
    std::shared_ptr<CatalogTree> tree;
    std::vector<TreemapTile> tiles;
    std::map<NodeIndex, QRgb> colours; // a hue of its own for each painted tile's node
    QImage image;
};

Picture paintSample()
{
    TreeBuilder b("/top");
    const NodeIndex a = b.add(0, "a", NodeKind::Folder);
    const NodeIndex c = b.add(0, "c", NodeKind::Folder);
    b.add(0, "x", NodeKind::File, 310);
    b.add(0, "y", NodeKind::File, 170);
    b.add(a, "a1", NodeKind::File, 230);
    b.add(a, "a2", NodeKind::File, 140);
    b.add(c, "c1", NodeKind::File, 260);
    for (int i = 0; i < 40; ++i)
        b.add(c, "tiny", NodeKind::File, 1);
    Picture p;
    p.tree = b.finish();
    const TileRect bounds {0, 0, 97, 61};
    p.tiles = LayOutTreemap(*p.tree, p.tree->top(), bounds, 3);
    int hue = 0;
    for (const TreemapTile &t : p.tiles) {
        if (t.kind != TreemapTile::Folder) {
            p.colours[t.node] = QColor::fromHsv(hue, 255, 255).rgb();
            hue += 45;
        }
    }
    p.image = QImage(97, 61, QImage::Format_RGB32);
    p.image.fill(Qt::black);
    CushionPainter::paint(p.image, p.tiles, [&p](const TreemapTile &t) { return p.colours.at(t.node); });
    return p;
}

TEST(CushionPainter, EveryPixelTakesTheColourOfTheOneTileOverItsCentre)
{
    const Picture p = paintSample();
    ASSERT_EQ(p.colours.size(), 6U) << "five files and the rest of c";
    for (int y = 0; y < p.image.height(); ++y) {
        for (int x = 0; x < p.image.width(); ++x) {
            const QPointF centre(x + 0.5, y + 0.5);
            const TreemapTile *owner = nullptr;
            int owners = 0;
            for (const TreemapTile &t : p.tiles) {
                if (t.kind != TreemapTile::Folder && t.rect.contains(centre)) {
                    owner = &t;
                    ++owners;
                }
            }
            ASSERT_EQ(owners, 1) << "pixel " << x << "," << y;
            // Shading scales a colour: its hue stays that of the tile.
            const QColor shown(p.image.pixel(x, y));
            const QColor base(p.colours.at(owner->node));
            ASSERT_GT(shown.value(), 0) << "pixel " << x << "," << y << " left unpainted";
            const int apart = std::abs(shown.hsvHue() - base.hsvHue());
            EXPECT_LE(std::min(apart, 360 - apart), 3) << "pixel " << x << "," << y;
        }
    }
}

TEST(CushionPainter, CushionsAreLitFromTheUpperLeftAndBulgeInTheMiddle)
{
    const Picture p = paintSample();
    for (const TreemapTile &t : p.tiles) {
        if (t.kind == TreemapTile::Folder || t.rect.width() < 8 || t.rect.height() < 8)
            continue;
        const auto value = [&p](double x, double y) { return QColor(p.image.pixel(int(x), int(y))).value(); };
        const TileRect &r = t.rect;
        const double cx = (r.x0 + r.x1) / 2, cy = (r.y0 + r.y1) / 2;
        EXPECT_GT(value(r.x0 + 1, r.y0 + 1), value(r.x1 - 1, r.y1 - 1)) << "tile of node " << t.node;
        EXPECT_GT(value(cx, cy), value(r.x1 - 1, r.y1 - 1)) << "tile of node " << t.node;
    }
}

} // namespace
