// folvane-treemap-bench: times the treemap of a scanned tree at 1600 x 1000, offscreen:
// of the top folder and of its biggest sub-folder, the layout and the painting each
// alone and the whole drawing of the window's treemap widget (from the request to the
// picture on the window thread). Prints one line per step, "step seconds (notes)",
// medians of --rounds rounds.

#include "CushionPainter.h"
#include "FolderScanner.h"
#include "RangeStatistics.h"
#include "TreemapLayout.h"
#include "TreemapView.h"
#include "TypeRanks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Width = 1600;
constexpr int Height = 1000;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

template <typename Step>
double medianSeconds(int rounds, Step &&step)
{
    std::vector<double> seconds;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        step();
        seconds.push_back(double(t.nsecsElapsed()) / 1e9);
    }
    return median(seconds);
}

void timeTreemap(const char *name, const std::shared_ptr<const CatalogTree> &tree, NodeIndex top,
    TreemapView &view, int rounds)
{
    const CatalogTree &t = *tree;
    // The colours come from the statistics the window has counted already.
    const Statistics stats = CountStatistics(t, top);
    const TypeRanks ranks(stats.types);
    const std::vector<QRgb> colours(std::min<std::size_t>(stats.types.size(), 100), 0x4e79a7);
    const TileRect bounds {0, 0, Width, Height};

    std::vector<TreemapTile> tiles;
    const double layout =
        medianSeconds(rounds, [&] { tiles = LayOutTreemap(t, top, bounds, TreemapView::MinTileSide); });
    QImage image(Width, Height, QImage::Format_RGB32);
    const double paint = medianSeconds(rounds, [&] {
        CushionPainter::paint(image, tiles, [&](const TreemapTile &tile) {
            const int rank =
                tile.kind == TreemapTile::Entry && t.isFile(tile.node) ? ranks.rankOf(t, tile.node) : -1;
            return rank < 0 ? TreemapView::RestColour
                            : colours[std::min<std::size_t>(std::size_t(rank), colours.size() - 1)];
        });
    });
    // The widget: the request, the drawing on its thread, the picture taken on this one.
    const double widget = medianSeconds(rounds, [&] {
        QEventLoop loop;
        QObject::connect(&view, &TreemapView::pictureReady, &loop, &QEventLoop::quit);
        view.showTree(tree, top, ranks, colours);
        loop.exec();
    });
    std::printf("treemap_%s_layout_s %.4f (%zu tiles of %u entries)\n", name, layout, tiles.size(),
        t.node(top).subtreeCount);
    std::printf("treemap_%s_paint_s %.4f\n", name, paint);
    std::printf("treemap_%s_s %.4f (the widget at %d x %d: layout, paint and hand-over)\n", name, widget,
        Width, Height);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    int rounds = 5;
    QString folder;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else
            folder = args[i];
    }
    if (folder.isEmpty()) {
        std::fprintf(stderr, "usage: folvane-treemap-bench [--rounds N] FOLDER\n");
        return 2;
    }
    const ScanResult result = ScanFolder(QFile::encodeName(folder));
    if (!result.tree || result.tree->isEmpty()) {
        std::fprintf(stderr, "folvane-treemap-bench: cannot scan %s\n", qPrintable(folder));
        return 1;
    }
    const std::shared_ptr<const CatalogTree> tree = result.tree;
    const NodeIndex top = tree->top();
    NodeIndex biggest = NoNode;
    for (std::uint32_t r = 0; r < tree->childCount(top); ++r) {
        const NodeIndex child = tree->child(top, r);
        if (tree->isFolder(child) && (biggest == NoNode || tree->node(child).size > tree->node(biggest).size))
            biggest = child;
    }
    std::printf("entries %zu\n", tree->nodeCount());

    TreemapView view;
    view.resize(Width, Height);
    view.show();
    QApplication::processEvents();
    timeTreemap("top", tree, top, view, rounds);
    if (biggest != NoNode) {
        std::printf("biggest_sub_folder %s\n", qPrintable(tree->fullPath(biggest)));
        timeTreemap("sub_folder", tree, biggest, view, rounds);
    }
    return 0;
}
