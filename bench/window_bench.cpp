// folvane-window-bench: times the real main window, offscreen, on one tree: from the
// end of the scan to the first painted Total Tree, a header-click sort of the Total
// Tree by size, ShowNode of the top node (current-folder list filled and painted), and
// expanding the folder with the most entries. Prints one line per step (medians of
// --rounds rounds for the steps that can be repeated) as "step seconds".

#include "CatalogTreeModel.h"
#include "ChartPainter.h"
#include "RangeStatistics.h"
#include "FolderScanner.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The process's peak resident memory so far, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

void paint(QTreeView *grid)
{
    grid->viewport()->repaint();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
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
        std::fputs("Usage: folvane-window-bench [--rounds N] FOLDER\n", stderr);
        return 2;
    }

    TFormMain window;
    window.showProblem = [](const QString &problem) {
        std::fprintf(stderr, "folvane-window-bench: %s\n", qPrintable(problem));
    };
    window.show();
    QApplication::processEvents();

    // The scan as the window's scan job runs it, then from its result to the Total
    // Tree painted: sorted, top node shown, current-folder list filled.
    QElapsedTimer timer;
    timer.start();
    const ScanResult result = ScanFolder(QFile::encodeName(folder));
    const double scanSeconds = timer.nsecsElapsed() / 1e9;
    timer.start();
    window.Ctrl->setRootPath(folder);
    QElapsedTimer classify;
    classify.start();
    window.Ctrl->ClassifyFiles(*result.tree);
    const double classifySeconds = classify.nsecsElapsed() / 1e9;
    window.Ctrl->ShowScan(result.tree);
    paint(window.VT);
    const double firstPaint = timer.nsecsElapsed() / 1e9;
    auto *model = static_cast<CatalogTreeModel *>(window.VT->model());
    const std::shared_ptr<const CatalogTree> tree = model->scan();
    std::printf("entries %zu\n", tree->nodeCount() - 1);
    std::printf("scan %.3f (peak %.1f MiB)\n", scanSeconds, peakMiB());
    std::printf("scan_end_to_first_paint %.3f (peak %.1f MiB)\n", firstPaint, peakMiB());
    std::printf("classify_files %.3f\n", classifySeconds);
    std::vector<double> counts;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        const Statistics statistics = CountStatistics(*tree, tree->top());
        counts.push_back(t.nsecsElapsed() / 1e9);
    }
    std::printf("count_statistics_top %.3f\n", median(counts));

    // Header-click sort by size: each click flips the direction.
    int sizeColumn = 0;
    for (int i = 0; i < model->columnCount(); ++i) {
        if (model->headerData(i, Qt::Horizontal).toString() == QLatin1String("File Size"))
            sizeColumn = i;
    }
    std::vector<double> sorts;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        emit window.VT->header()->sectionClicked(sizeColumn);
        paint(window.VT);
        sorts.push_back(t.nsecsElapsed() / 1e9);
    }
    std::printf("header_sort_by_size %.3f (peak %.1f MiB)\n", median(sorts), peakMiB());

    // ShowNode of the top node, with the current-folder list on view.
    window.pcTotal->setCurrentIndex(1);
    QApplication::processEvents();
    NodeIndex biggest = tree->top();
    for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
        if (tree->isFolder(n) && tree->childCount(n) > tree->childCount(biggest))
            biggest = n;
    }
    std::vector<double> shows;
    for (int r = 0; r < rounds; ++r) {
        window.Ctrl->ShowNode(biggest == tree->top() ? tree->child(tree->top(), 0) : biggest);
        QElapsedTimer t;
        t.start();
        window.Ctrl->ShowNode(tree->top());
        paint(window.VTList);
        // The charts not on view are drawn as the screen would draw them; grab() would
        // also build a backing store for every hidden view.
        for (QChartView *chart : {window.ChartFile, window.AgeChart, window.SizeChart, window.TypeChart}) {
            QImage image(chart->size(), QImage::Format_RGB32);
            QPainter painter(&image);
            chart->scene()->render(&painter, QRectF(image.rect()), chart->sceneRect());
        }
        shows.push_back(t.nsecsElapsed() / 1e9);
    }
    std::printf("show_node_top %.3f (list, statistics, four charts, painted; peak %.1f MiB)\n", median(shows), peakMiB());

    // A click on the size slice that holds the most files fills VTSize.
    const std::vector<std::uint64_t> &sizes = window.Ctrl->statistics().size;
    const int bucket = int(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
    ChartPainter *sizePainter = nullptr;
    for (ChartPainter *painter : window.Ctrl->findChildren<ChartPainter *>())
        sizePainter = painter->chart() == window.SizeChart->chart() ? painter : sizePainter;
    window.pcTotal->setCurrentIndex(4);
    QApplication::processEvents();
    std::vector<double> slices;
    for (int r = 0; r < rounds && sizePainter; ++r) {
        QElapsedTimer t;
        t.start();
        emit sizePainter->pointClicked(bucket, QString());
        paint(window.VTSize);
        slices.push_back(t.nsecsElapsed() / 1e9);
    }
    if (!slices.empty())
        std::printf("slice_click_largest_size_bucket %.3f (%llu of %zu entries; peak %.1f MiB)\n", median(slices),
                    static_cast<unsigned long long>(sizes[std::size_t(bucket)]), tree->nodeCount() - 1, peakMiB());

    // Expanding the folder with the most entries in the Total Tree.
    window.pcTotal->setCurrentIndex(0);
    QApplication::processEvents();
    std::vector<double> expands;
    for (int r = 0; r < rounds; ++r) {
        const QModelIndex index = model->indexOf(biggest);
        window.VT->collapse(index);
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        window.VT->expand(index);
        window.VT->scrollTo(index, QAbstractItemView::PositionAtTop);
        paint(window.VT);
        expands.push_back(t.nsecsElapsed() / 1e9);
    }
    std::printf("expand_largest_folder %.3f (%u entries)\n", median(expands), tree->childCount(biggest));
    return 0;
}
