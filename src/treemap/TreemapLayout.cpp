#include "TreemapLayout.h"

#include <algorithm>
#include <cmath>

namespace {

struct Item
{
    double area;
    NodeIndex node;
};

struct Pending
{
    NodeIndex node;
    TileRect rect;
    std::uint16_t depth;
};

double sizeOf(const CatalogNodeData &d)
{
    return d.has(CatalogNodeData::HasSize) ? double(d.size) : 0.0;
}

// The worst aspect ratio of a row of total area `sum` whose largest and smallest
// members are `largest` and `smallest`, laid along a side of length `side`.
double worstRatio(double sum, double largest, double smallest, double side)
{
    const double side2 = side * side;
    const double sum2 = sum * sum;
    return std::max(side2 * largest / sum2, sum2 / (side2 * smallest));
}

// Lays `items` (largest first) into `space` row by row; placed children go to
// `placed` and `space` keeps what is left. Returns how many items were placed: a row
// thinner than `minSide` ends the layout, and the items from it on are merged.
std::size_t squarify(const std::vector<Item> &items, TileRect &space, double minSide,
    std::vector<std::pair<NodeIndex, TileRect>> &placed)
{
    std::size_t i = 0;
    while (i < items.size()) {
        const bool wide = space.width() >= space.height();
        const double side = wide ? space.height() : space.width();
        if (side <= 0)
            break;
        double sum = items[i].area;
        double worst = worstRatio(sum, items[i].area, items[i].area, side);
        std::size_t end = i + 1;
        for (; end < items.size(); ++end) {
            const double next = worstRatio(sum + items[end].area, items[i].area, items[end].area, side);
            if (next > worst)
                break;
            sum += items[end].area;
            worst = next;
        }
        const double thickness = sum / side;
        if (thickness < minSide)
            break;
        // The row takes a strip along the short side; its members share the strip's
        // length in proportion to their areas, the last one reaching its end exactly.
        if (wide) {
            const double edge = std::min(space.x0 + thickness, space.x1);
            double y = space.y0;
            for (std::size_t k = i; k < end; ++k) {
                const double y1 = k + 1 == end ? space.y1 : y + items[k].area / thickness;
                placed.push_back({items[k].node, {space.x0, y, edge, y1}});
                y = y1;
            }
            space.x0 = edge;
        } else {
            const double edge = std::min(space.y0 + thickness, space.y1);
            double x = space.x0;
            for (std::size_t k = i; k < end; ++k) {
                const double x1 = k + 1 == end ? space.x1 : x + items[k].area / thickness;
                placed.push_back({items[k].node, {x, space.y0, x1, edge}});
                x = x1;
            }
            space.y0 = edge;
        }
        i = end;
    }
    return i;
}

} // namespace

std::vector<TreemapTile> LayOutTreemap(const CatalogTree &tree, NodeIndex top, const TileRect &bounds,
    double minSide, const std::atomic<bool> *cancel)
{
    std::vector<TreemapTile> tiles;
    if (top == NoNode || top >= tree.nodeCount() || bounds.width() <= 0 || bounds.height() <= 0
        || sizeOf(tree.node(top)) <= 0)
        return tiles;
    minSide = std::max(minSide, 0.0);
    const double minArea = minSide * minSide;

    std::vector<Pending> pending {{top, bounds, 0}};
    std::vector<Item> items;
    std::vector<std::pair<NodeIndex, TileRect>> placed;
    while (!pending.empty()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            break;
        const Pending p = pending.back();
        pending.pop_back();
        const CatalogNodeData &d = tree.node(p.node);
        const bool roomy = p.rect.width() >= 2 * minSide && p.rect.height() >= 2 * minSide;
        if (d.kind() != NodeKind::Folder || d.childCount == 0 || !roomy) {
            tiles.push_back({p.rect, 0, p.node, 0, p.depth, TreemapTile::Entry});
            continue;
        }
        tiles.push_back({p.rect, 0, p.node, 0, p.depth, TreemapTile::Folder});

        // The children fill the folder: their own sum is the scale, so a saturated
        // folder total draws as its children add up.
        double total = 0;
        for (std::uint32_t r = 0; r < d.childCount; ++r)
            total += sizeOf(tree.node(tree.child(p.node, r)));
        if (total <= 0) {
            tiles.back().kind = TreemapTile::Entry;
            continue;
        }
        const double scale = p.rect.area() / total;
        items.clear();
        std::uint64_t restBytes = 0;
        std::uint32_t restCount = 0;
        for (std::uint32_t r = 0; r < d.childCount; ++r) {
            const NodeIndex child = tree.child(p.node, r);
            const CatalogNodeData &c = tree.node(child);
            const double area = sizeOf(c) * scale;
            if (area >= minArea && area > 0) {
                items.push_back({area, child});
            } else if (area > 0) {
                restBytes += c.size;
                ++restCount;
            }
        }
        // Largest first; equal sizes in the scan's order, so a picture is the same each time.
        std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
            return a.area != b.area ? a.area > b.area : a.node < b.node;
        });
        TileRect space = p.rect;
        placed.clear();
        const std::size_t count = squarify(items, space, minSide, placed);
        for (std::size_t k = count; k < items.size(); ++k) {
            restBytes += tree.node(items[k].node).size;
            ++restCount;
        }
        const std::uint16_t below = p.depth == 0xFFFF ? p.depth : std::uint16_t(p.depth + 1);
        if (restCount > 0 && space.width() > 0 && space.height() > 0)
            tiles.push_back({space, restBytes, p.node, restCount, below, TreemapTile::Rest});
        // Popped in the order placed: the largest child's subtree comes first.
        for (auto it = placed.rbegin(); it != placed.rend(); ++it)
            pending.push_back({it->first, it->second, below});
    }
    return tiles;
}
