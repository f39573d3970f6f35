#pragma once

#include "TreemapLayout.h"

#include <QImage>
#include <QRgb>

#include <atomic>
#include <functional>
#include <vector>

// Paints tiles as cushions (van Wijk and van de Wetering): every tile adds a
// parabolic ridge in x and in y to the surface of everything inside it, lower the
// deeper it lies, so each folder shows as a bulge made of its children's bulges.
// The surface is lit by a fixed light from the upper left. Only Entry and Rest tiles
// are painted (they cover the top's rectangle without overlapping); a Folder tile
// only shapes the surface below it.
class CushionPainter
{
public:
    // The base colour of a painted tile.
    using ColourOf = std::function<QRgb(const TreemapTile &tile)>;

    // Paints `tiles` (in LayOutTreemap's pre-order) into `image` (Format_RGB32 or
    // ARGB32), which keeps its pixels outside them. `cancel`, when given and set,
    // ends the painting early.
    static void paint(QImage &image, const std::vector<TreemapTile> &tiles, const ColourOf &colourOf,
        const std::atomic<bool> *cancel = nullptr);

    // The ridge height of the top; each level below gets HeightFactor of the one above.
    static constexpr double TopHeight = 0.5;
    static constexpr double HeightFactor = 0.75;
    // Ambient and directional shares of the light.
    static constexpr double Ambient = 0.3;
    static constexpr double Directional = 0.7;
};
