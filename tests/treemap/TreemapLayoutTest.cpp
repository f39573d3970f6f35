#include "TreemapLayout.h"

#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const TileRect Bounds {0, 0, 600, 400};

double overlap(const TileRect &a, const TileRect &b)
{
    const double w = std::min(a.x1, b.x1) - std::max(a.x0, b.x0);
    const double h = std::min(a.y1, b.y1) - std::max(a.y0, b.y0);
    return w > 0 && h > 0 ? w * h : 0;
}

bool inside(const TileRect &inner, const TileRect &outer)
{
    constexpr double e = 1e-9;
    return inner.x0 >= outer.x0 - e && inner.y0 >= outer.y0 - e && inner.x1 <= outer.x1 + e
        && inner.y1 <= outer.y1 + e;
}

// Pixels a rectangle gets once its edges are rounded as the painter rounds them.
double pixelArea(const TileRect &r)
{
    return (std::round(r.x1) - std::round(r.x0)) * (std::round(r.y1) - std::round(r.y0));
}

// What holds for every layout: tiles in pre-order, each inside its folder's and one
// level below it, painted tiles (Entry and Rest) never overlapping and together
// covering the top's rectangle.
void expectWellFormed(const CatalogTree &tree, const std::vector<TreemapTile> &tiles, const TileRect &bounds)
{
    ASSERT_FALSE(tiles.empty());
    EXPECT_EQ(tiles.front().depth, 0);
    std::map<NodeIndex, const TreemapTile *> folders;
    std::vector<const TreemapTile *> painted;
    double paintedArea = 0;
    for (const TreemapTile &t : tiles) {
        EXPECT_TRUE(inside(t.rect, bounds));
        if (&t != &tiles.front()) {
            const NodeIndex folder = t.kind == TreemapTile::Rest ? t.node : tree.parent(t.node);
            const auto found = folders.find(folder);
            ASSERT_NE(found, folders.end()) << "the folder of " << t.node << " comes first";
            EXPECT_TRUE(inside(t.rect, found->second->rect));
            EXPECT_EQ(t.depth, found->second->depth + 1);
        }
        if (t.kind == TreemapTile::Folder) {
            folders[t.node] = &t;
            continue;
        }
        for (const TreemapTile *other : painted)
            EXPECT_LT(overlap(t.rect, other->rect), 1e-9) << t.node << " and " << other->node;
        painted.push_back(&t);
        paintedArea += t.rect.area();
    }
    EXPECT_NEAR(paintedArea, bounds.area(), bounds.area() * 1e-9);
}

// A folder of files of the given sizes, as the top.
std::shared_ptr<CatalogTree> flatFolder(const std::vector<std::uint64_t> &sizes)
{
    TreeBuilder b("/top");
    for (std::size_t i = 0; i < sizes.size(); ++i)
        b.add(0, ("f" + std::to_string(i)).c_str(), NodeKind::File, sizes[i]);
    return b.finish();
}

double aspect(const TileRect &r)
{
    return std::max(r.width(), r.height()) / std::min(r.width(), r.height());
}

struct SizeList
{
    const char *name;
    std::vector<std::uint64_t> sizes;
    double meanAspect; // the mean aspect ratio stays at or below (a slicing layout gives many times more)
};

std::vector<SizeList> sizeLists()
{
    std::vector<std::uint64_t> random(300);
    std::mt19937_64 rng(7);
    std::lognormal_distribution<double> spread(8, 2.5);
    for (std::uint64_t &s : random)
        s = 1 + std::uint64_t(spread(rng));
    std::vector<std::uint64_t> doubling;
    for (int i = 0; i < 12; ++i)
        doubling.push_back(std::uint64_t(1) << i);
    std::vector<std::uint64_t> oneLarge(40, 3);
    oneLarge.push_back(5000);
    return {
        {"paper example", {6, 6, 4, 3, 2, 2, 1}, 1.7},
        {"equal", std::vector<std::uint64_t>(24, 100), 1.05},
        {"doubling", doubling, 1.5},
        {"one large, many small", oneLarge, 1.5},
        {"lognormal", random, 1.3},
    };
}

TEST(TreemapLayout, AreasFollowSizesWithoutOverlapsAndCloseToSquares)
{
    for (const SizeList &list : sizeLists()) {
        SCOPED_TRACE(list.name);
        const auto tree = flatFolder(list.sizes);
        const std::vector<TreemapTile> tiles = LayOutTreemap(*tree, tree->top(), Bounds, 0);
        ASSERT_EQ(tiles.size(), list.sizes.size() + 1) << "the top and one tile a file, nothing merged";
        expectWellFormed(*tree, tiles, Bounds);
        const double scale = Bounds.area() / double(tree->node(tree->top()).size);
        double aspects = 0;
        for (std::size_t i = 1; i < tiles.size(); ++i) {
            const TreemapTile &t = tiles[i];
            EXPECT_EQ(t.kind, TreemapTile::Entry);
            const double expected = double(tree->node(t.node).size) * scale;
            EXPECT_NEAR(t.rect.area(), expected, expected * 1e-9);
            // Rounded to pixels, each edge moves by half a pixel at most.
            EXPECT_LE(std::abs(pixelArea(t.rect) - expected), t.rect.width() + t.rect.height() + 1);
            aspects += aspect(t.rect);
        }
        EXPECT_LE(aspects / double(list.sizes.size()), list.meanAspect);
    }
}

TEST(TreemapLayout, NestedFoldersSitInsideTheirFolders)
{
    TreeBuilder b("/top");
    const NodeIndex a = b.add(0, "a", NodeKind::Folder);
    const NodeIndex c = b.add(0, "c", NodeKind::Folder);
    b.add(0, "top.bin", NodeKind::File, 300);
    b.add(a, "a1", NodeKind::File, 100);
    const NodeIndex deeper = b.add(a, "deeper", NodeKind::Folder);
    b.add(c, "c1", NodeKind::File, 250);
    b.add(c, "c2", NodeKind::File, 50);
    b.add(deeper, "d1", NodeKind::File, 120);
    b.add(deeper, "d2", NodeKind::File, 80);
    const auto tree = b.finish();

    const std::vector<TreemapTile> tiles = LayOutTreemap(*tree, tree->top(), Bounds, 0);
    expectWellFormed(*tree, tiles, Bounds);
    EXPECT_EQ(tiles.size(), tree->nodeCount());
    // A sub-folder as the top fills the whole rectangle.
    const std::vector<TreemapTile> sub = LayOutTreemap(*tree, a, Bounds, 0);
    expectWellFormed(*tree, sub, Bounds);
    EXPECT_EQ(sub.size(), 5U);
}

TEST(TreemapLayout, EntriesWithoutSizeAndSingleChildren)
{
    TreeBuilder b("/top");
    const NodeIndex only = b.add(0, "only", NodeKind::Folder);
    const NodeIndex empty = b.add(0, "empty", NodeKind::Folder);
    const NodeIndex zero = b.add(only, "zero.txt", NodeKind::File, 0);
    const NodeIndex unknown = b.add(only, "gone", NodeKind::Unknown);
    const NodeIndex file = b.add(only, "file.bin", NodeKind::File, 4096);
    const auto tree = b.finish();

    const std::vector<TreemapTile> tiles = LayOutTreemap(*tree, tree->top(), Bounds, 4);
    ASSERT_EQ(tiles.size(), 3U) << "the top, its one sized folder and that one's one sized file";
    EXPECT_EQ(tiles[1].node, only);
    EXPECT_EQ(tiles[2].node, file);
    for (const TreemapTile &t : tiles) {
        EXPECT_TRUE(t.rect.x0 == Bounds.x0 && t.rect.y0 == Bounds.y0 && t.rect.x1 == Bounds.x1
            && t.rect.y1 == Bounds.y1)
            << "a single child fills its folder";
        EXPECT_NE(t.kind, TreemapTile::Rest) << "entries without size are left out, not merged";
    }
    for (const NodeIndex none : {empty, zero, unknown})
        EXPECT_TRUE(std::none_of(
            tiles.begin(), tiles.end(), [none](const TreemapTile &t) { return t.node == none; }));

    EXPECT_TRUE(LayOutTreemap(*tree, empty, Bounds, 4).empty());
    EXPECT_TRUE(LayOutTreemap(*tree, zero, Bounds, 4).empty());
    const std::vector<TreemapTile> alone = LayOutTreemap(*tree, file, Bounds, 4);
    ASSERT_EQ(alone.size(), 1U);
    EXPECT_EQ(alone[0].kind, TreemapTile::Entry);
}

TEST(TreemapLayout, EntriesTooSmallToDrawAreMergedIntoTheirFolder)
{
    // A million equal files and a few large ones at 1600 x 1000: each small file
    // would get 0.8 pixels, so they are one Rest tile, however many there are.
    constexpr std::uint32_t Small = 1'000'000;
    TreeBuilder b("/top");
    const NodeIndex many = b.add(0, "many", NodeKind::Folder);
    for (int i = 0; i < 3; ++i)
        b.add(0, ("large" + std::to_string(i)).c_str(), NodeKind::File, 1'000'000);
    for (std::uint32_t i = 0; i < Small; ++i)
        b.add(many, "f", NodeKind::File, 1);
    const auto tree = b.finish();
    const TileRect screen {0, 0, 1600, 1000};

    const std::vector<TreemapTile> tiles = LayOutTreemap(*tree, tree->top(), screen, 4);
    expectWellFormed(*tree, tiles, screen);
    ASSERT_EQ(tiles.size(), 6U) << "the top, three large files, the folder and its rest";
    const auto rest = std::find_if(
        tiles.begin(), tiles.end(), [](const TreemapTile &t) { return t.kind == TreemapTile::Rest; });
    ASSERT_NE(rest, tiles.end());
    EXPECT_EQ(rest->node, many);
    EXPECT_EQ(rest->restCount, Small);
    EXPECT_EQ(rest->restBytes, Small);
    const double scale = screen.area() / double(tree->node(tree->top()).size);
    EXPECT_NEAR(rest->rect.area(), Small * scale, Small * scale * 1e-9);

    // Drawn alone, the folder's files get 1.6 pixels each: still one rest.
    const std::vector<TreemapTile> alone = LayOutTreemap(*tree, many, screen, 4);
    ASSERT_EQ(alone.size(), 2U);
    EXPECT_EQ(alone[1].kind, TreemapTile::Rest);
    // Without a minimum, every file is a tile.
    EXPECT_EQ(LayOutTreemap(*tree, many, screen, 0).size(), Small + 1);
}

} // namespace
