#include "CushionPainter.h"

#include <algorithm>
#include <cmath>

namespace {

// The surface over a tile is z = a2·x² + a1·x + b2·y² + b1·y: the sum of the ridges
// of the tile and of every tile around it.
struct Surface
{
    double a1 = 0;
    double a2 = 0;
    double b1 = 0;
    double b2 = 0;
};

// Adds a ridge of height `h` over [lo, hi): zero at both ends, h in the middle.
void addRidge(double &c1, double &c2, double lo, double hi, double h)
{
    if (hi <= lo)
        return;
    c1 += 4 * h * (hi + lo) / (hi - lo);
    c2 -= 4 * h / (hi - lo);
}

// The first pixel whose centre lies at or past `edge`: adjacent tiles share an edge,
// so each pixel belongs to exactly one of them.
int pixelEdge(double edge, int limit)
{
    return std::clamp(int(std::ceil(edge - 0.5)), 0, limit);
}

} // namespace

void CushionPainter::paint(QImage &image, const std::vector<TreemapTile> &tiles, const ColourOf &colourOf,
    const std::atomic<bool> *cancel)
{
    if (image.isNull() || (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32))
        return;
    // Light from the upper left and in front, normalised.
    const double lx = -1, ly = -1, lz = 4;
    const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double Lx = lx / ll, Ly = ly / ll, Lz = lz / ll;

    std::vector<Surface> surfaces; // by depth: the surface of the last tile met at each
    std::vector<double> heights;
    const int width = image.width();
    const int height = image.height();
    for (const TreemapTile &tile : tiles) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return;
        const std::size_t depth = tile.depth;
        while (heights.size() <= depth) {
            heights.push_back(heights.empty() ? TopHeight : heights.back() * HeightFactor);
            surfaces.emplace_back();
        }
        Surface s = depth == 0 ? Surface() : surfaces[depth - 1];
        addRidge(s.a1, s.a2, tile.rect.x0, tile.rect.x1, heights[depth]);
        addRidge(s.b1, s.b2, tile.rect.y0, tile.rect.y1, heights[depth]);
        surfaces[depth] = s;
        if (tile.kind == TreemapTile::Folder)
            continue;

        const int px0 = pixelEdge(tile.rect.x0, width);
        const int px1 = pixelEdge(tile.rect.x1, width);
        const int py0 = pixelEdge(tile.rect.y0, height);
        const int py1 = pixelEdge(tile.rect.y1, height);
        if (px0 >= px1 || py0 >= py1)
            continue;
        const QRgb base = colourOf(tile);
        const double red = qRed(base), green = qGreen(base), blue = qBlue(base);
        for (int y = py0; y < py1; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            const double cy = y + 0.5;
            const double ny = -(2 * s.b2 * cy + s.b1);
            for (int x = px0; x < px1; ++x) {
                const double cx = x + 0.5;
                const double nx = -(2 * s.a2 * cx + s.a1);
                const double cosine = (nx * Lx + ny * Ly + Lz) / std::sqrt(nx * nx + ny * ny + 1);
                const double light = Ambient + Directional * std::max(0.0, cosine);
                line[x] = qRgb(int(std::min(255.0, red * light)), int(std::min(255.0, green * light)),
                    int(std::min(255.0, blue * light)));
            }
        }
    }
}
