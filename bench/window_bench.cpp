// folvane-window-bench: times the real main window, offscreen, on one tree: from the
// end of the scan to the first painted Total Tree, header-click sorts of the Total
// Tree, the current-folder list and a drill-down list, ShowNode of the top node and of
// the biggest sub-folder, the largest slice of the age, size and type charts, expanding
// the folder with the most entries, Move to Trash of one file and Refresh of a folder of
// about 1,000 entries (each to the repainted window), and the five exports of the
// Total Tree. Prints one line per step (medians of --rounds rounds for the steps that
// can be repeated, of --export-rounds for the exports) as "step seconds (notes)".

#include "BenchTree.h"
#include "CatalogTreeModel.h"
#include "ChartPainter.h"
#include "ExportFile.h"
#include "FlatListView.h"
#include "FolderScanner.h"
#include "LargeBlocks.h"
#include "NodeListModel.h"
#include "RangeStatistics.h"
#include "ScanJob.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"

#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
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

void paint(QAbstractItemView *grid)
{
    grid->viewport()->repaint();
}

int columnOf(const QAbstractItemModel *model, const QString &header)
{
    for (int i = 0; i < model->columnCount(); ++i) {
        if (model->headerData(i, Qt::Horizontal).toString() == header)
            return i;
    }
    return -1;
}

// Header clicks on `grid`, one a round, each with its repaint; every click flips the
// direction, so the median mixes both. -1 when the grid has no such column.
double sortSeconds(QAbstractItemView *grid, const QString &header, int rounds)
{
    const int column = columnOf(grid->model(), header);
    if (column < 0)
        return -1;
    std::vector<double> seconds;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        emit columnHeader(grid)->sectionClicked(column);
        paint(grid);
        seconds.push_back(t.nsecsElapsed() / 1e9);
    }
    return median(seconds);
}

// The three header sorts of one grid, printed as "<prefix>_by_size" and so on.
void printSorts(QAbstractItemView *grid, const char *prefix, int rounds, const char *notes)
{
    const struct
    {
        const char *step;
        const char *header;
    } sorts[] = {{"by_size", "File Size"}, {"by_name", "File Name"}, {"by_write_time", "Write Time"}};
    for (const auto &sort : sorts) {
        const double seconds = sortSeconds(grid, QString::fromLatin1(sort.header), rounds);
        if (seconds < 0)
            std::printf("%s_%s - (no \"%s\" column)\n", prefix, sort.step, sort.header);
        else
            std::printf("%s_%s %.3f (%s; peak %.1f MiB)\n", prefix, sort.step, seconds, notes, peakMiB());
    }
}

// The painter of one chart of the window's controller.
ChartPainter *painterOf(TFormMain &window, QChartView *view)
{
    for (ChartPainter *painter : window.Ctrl->findChildren<ChartPainter *>()) {
        if (painter->chart() == view->chart())
            return painter;
    }
    return nullptr;
}

// Clicks on one slice, each filling `list` and painting it; the median of `rounds`.
double sliceSeconds(ChartPainter *painter, int point, const QString &label, QAbstractItemView *list, int rounds)
{
    std::vector<double> seconds;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        emit painter->pointClicked(point, label);
        paint(list);
        seconds.push_back(t.nsecsElapsed() / 1e9);
    }
    return median(seconds);
}

// Everything a change of the scan repaints: both lists and the four charts (those
// not on view drawn as the screen would draw them).
void paintWindow(TFormMain &window)
{
    paint(window.VT);
    paint(window.VTList);
    for (QChartView *chart : {window.ChartFile, window.AgeChart, window.SizeChart, window.TypeChart}) {
        QImage image(chart->size(), QImage::Format_RGB32);
        QPainter painter(&image);
        chart->scene()->render(&painter, QRectF(image.rect()), chart->sceneRect());
    }
}

// Runs `start` and the event loop until the window says the scan it shows has
// changed (scanShown); false when nothing started or nothing came within a minute.
bool untilShown(TFormMain &window, const std::function<bool()> &start)
{
    QEventLoop loop;
    bool shown = false;
    const QMetaObject::Connection done = QObject::connect(&window, &TFormMain::scanShown, &loop, [&] {
        shown = true;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (start())
        loop.exec();
    QObject::disconnect(done);
    return shown;
}

// Selects `node`'s row in the current-folder list, its parent made the current folder.
void chooseInList(TFormMain &window, NodeIndex node)
{
    const CatalogTree &tree = *window.Ctrl->Scan();
    window.Ctrl->ShowNode(tree.parent(node));
    auto *list = static_cast<NodeListModel *>(window.VTList->model());
    for (int r = 0; r < list->rowCount(); ++r) {
        if (list->record(r).index() == node) {
            const QModelIndex row = list->index(r, 0);
            window.VTList->selectionModel()->setCurrentIndex(
                row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return;
        }
    }
}

// Move to Trash of one file, confirmed at once, to the repainted window; and Refresh
// of a folder of about 1,000 entries, to the repainted window, with its scan's own
// time apart. Each trashed file is put back where it was once timed, so the tree on
// disk stays as it was made (the window's tree goes without it).
void printEditSteps(TFormMain &window, const QString &trashHome, int rounds)
{
    window.confirmRemoval = [](const QString &) { return true; };
    window.pcTotal->setCurrentIndex(1);
    QApplication::processEvents();
    std::vector<NodeIndex> files;
    {
        const CatalogTree &tree = *window.Ctrl->Scan();
        for (NodeIndex n = tree.top() + 1; n < tree.nodeCount() && files.size() < std::size_t(rounds) * 50;
             ++n) {
            if (tree.isFile(n))
                files.push_back(n);
        }
        std::mt19937 random(1);
        std::shuffle(files.begin(), files.end(), random);
        files.resize(std::min(files.size(), std::size_t(rounds)));
    }
    // Last, one file straight below the top: the whole scan's statistics are counted again.
    {
        const CatalogTree &tree = *window.Ctrl->Scan();
        for (std::uint32_t r = 0; r < tree.childCount(tree.top()); ++r) {
            if (tree.isFile(tree.child(tree.top(), r))) {
                files.push_back(tree.child(tree.top(), r));
                break;
            }
        }
    }
    std::vector<double> trashSeconds;
    for (NodeIndex file : files) {
        // An earlier removal may have moved the entry to another slot.
        file = window.Ctrl->Scan()->successor(file);
        if (file == NoNode)
            continue;
        const QByteArray path = window.Ctrl->Scan()->fullPathBytes(file);
        chooseInList(window, file);
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        if (!untilShown(window, [&] { return window.RemoveChosen(window.VTList, false); })) {
            std::fprintf(stderr, "folvane-window-bench: %s was not trashed: %s\n", path.constData(),
                qPrintable(window.SB->text()));
            continue;
        }
        paintWindow(window);
        trashSeconds.push_back(t.nsecsElapsed() / 1e9);
        // Back where it was: the trash names it after its own name (a number added
        // only when the name is taken there).
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        const QByteArray trashed = QFile::encodeName(trashHome) + "/Trash/files/" + name;
        if (::rename(trashed.constData(), path.constData()) == 0)
            QFile::remove(trashHome + QStringLiteral("/Trash/info/") + QFile::decodeName(name)
                + QStringLiteral(".trashinfo"));
        else
            std::fprintf(stderr, "folvane-window-bench: %s stays in the trash %s\n", path.constData(),
                qPrintable(trashHome));
    }
    const bool fromTop = files.size() > std::size_t(rounds) && trashSeconds.size() == files.size();
    if (fromTop) {
        std::printf("trash_one_file_of_the_top_folder_to_repaint %.3f (the top current: its list, its "
                    "statistics, four charts)\n",
            trashSeconds.back());
        trashSeconds.pop_back();
    }
    if (!trashSeconds.empty())
        std::printf("trash_one_file_to_repaint %.3f (median of %zu files; peak %.1f MiB)\n",
            median(trashSeconds), trashSeconds.size(), peakMiB());

    std::vector<double> refreshSeconds, scanSeconds;
    std::uint32_t below = 0;
    for (int r = 0; r < rounds; ++r) {
        const NodeIndex folder = FolderOfAbout(*window.Ctrl->Scan(), 1000);
        if (folder == NoNode)
            break;
        below = window.Ctrl->Scan()->node(folder).subtreeCount - 1;
        chooseInList(window, folder);
        QApplication::processEvents();
        double scan = 0;
        const QMetaObject::Connection timed = QObject::connect(&window.scanJob(), &ScanJob::finished,
            [&](const ScanResult &, double seconds) { scan = seconds; });
        QElapsedTimer t;
        t.start();
        const bool shown = untilShown(window, [&] {
            window.Refresh(window.VTList, false);
            return true;
        });
        paintWindow(window);
        const double total = t.nsecsElapsed() / 1e9;
        QObject::disconnect(timed);
        if (!shown)
            continue;
        refreshSeconds.push_back(total - scan);
        scanSeconds.push_back(scan);
    }
    if (!refreshSeconds.empty())
        std::printf("refresh_folder_to_repaint_after_its_scan %.3f (its scan %.3f; %u entries below it; peak "
                    "%.1f MiB)\n",
            median(refreshSeconds), median(scanSeconds), below, peakMiB());
}

int largest(const std::vector<std::uint64_t> &counts)
{
    return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

} // namespace

int main(int argc, char **argv)
{
    // As the window's own main does.
    KeepLargeBlocksApart();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    const QStringList args = QApplication::arguments();
    int rounds = 5;
    int exportRounds = 1; // 0: no exports
    QString scratchFolder;
    QStringList exportsChosen; // empty: all five
    QString folder;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--export-rounds") && i + 1 < args.size())
            exportRounds = std::max(0, args[++i].toInt());
        else if (args[i] == QLatin1String("--scratch") && i + 1 < args.size())
            scratchFolder = args[++i];
        else if (args[i] == QLatin1String("--exports") && i + 1 < args.size())
            exportsChosen = args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
        else
            folder = args[i];
    }
    if (folder.isEmpty()) {
        std::fputs("Usage: folvane-window-bench [--rounds N] [--export-rounds N] [--exports "
                   "csv,html,text,xml,excel]\n"
                   "                            [--scratch FOLDER] FOLDER\n"
                   "  --export-rounds 0 leaves the exports out; their files are written under the scratch\n"
                   "  folder (default: a new folder under the temporary one) and removed once timed.\n",
            stderr);
        return 2;
    }

    // Move to Trash goes to a trash of this run's own, removed at the end.
    QTemporaryDir trashDir(
        QDir(folder).absoluteFilePath(QStringLiteral("../folvane-window-bench-trash-XXXXXX")));
    const QString trashHome = trashDir.path();
    qputenv("XDG_DATA_HOME", QFile::encodeName(trashHome));

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
    ScanOptions options;
    options.ranges = BoundsOf(window.Ctrl->ranges());
    const ScanResult result = ScanFolder(QFile::encodeName(folder), options);
    const double scanSeconds = timer.nsecsElapsed() / 1e9;
    timer.start();
    window.Ctrl->setRootPath(folder);
    window.Ctrl->ShowScan(result.tree);
    paint(window.VT);
    const double firstPaint = timer.nsecsElapsed() / 1e9;
    auto *model = static_cast<CatalogTreeModel *>(window.VT->model());
    const std::shared_ptr<const CatalogTree> tree = model->scan();
    std::printf("entries %zu\n", tree->nodeCount() - 1);
    std::printf("scan %.3f (peak %.1f MiB)\n", scanSeconds, peakMiB());
    std::printf("scan_end_to_first_paint %.3f (peak %.1f MiB)\n", firstPaint, peakMiB());
    std::vector<double> counts;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        const Statistics statistics = CountStatistics(*tree, tree->top());
        counts.push_back(t.nsecsElapsed() / 1e9);
    }
    std::printf("count_statistics_top %.3f\n", median(counts));

    // Header-click sorts of the Total Tree; each click flips the direction.
    window.pcTotal->setCurrentIndex(0);
    QApplication::processEvents();
    printSorts(window.VT, "header_sort_tree", rounds, "Total Tree");

    // ShowNode of the top node, with the current-folder list on view.
    window.pcTotal->setCurrentIndex(1);
    QApplication::processEvents();
    NodeIndex biggest = tree->top();
    for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
        if (tree->isFolder(n) && tree->childCount(n) > tree->childCount(biggest))
            biggest = n;
    }
    // The sub-folder with the most entries below it: children always come after
    // their parent, so one backward pass adds every subtree into its parent.
    NodeIndex heaviest = NoNode;
    {
        std::vector<std::uint32_t> below(tree->nodeCount(), 0);
        for (NodeIndex n = NodeIndex(tree->nodeCount() - 1); n > tree->top(); --n)
            below[tree->parent(n)] += below[n] + 1;
        for (NodeIndex n = tree->top() + 1; n < tree->nodeCount(); ++n) {
            if (tree->isFolder(n) && (heaviest == NoNode || below[n] > below[heaviest]))
                heaviest = n;
        }
        if (heaviest != NoNode)
            std::printf("biggest_subfolder %s (%u entries below it)\n", qPrintable(tree->fullPath(heaviest)),
                below[heaviest]);
    }
    const auto showSeconds = [&](NodeIndex node, NodeIndex from) {
        std::vector<double> shows;
        for (int r = 0; r < rounds; ++r) {
            window.Ctrl->ShowNode(from);
            QElapsedTimer t;
            t.start();
            window.Ctrl->ShowNode(node);
            paint(window.VTList);
            // The charts not on view are drawn as the screen would draw them; grab()
            // would also build a backing store for every hidden view.
            for (QChartView *chart :
                {window.ChartFile, window.AgeChart, window.SizeChart, window.TypeChart}) {
                QImage image(chart->size(), QImage::Format_RGB32);
                QPainter painter(&image);
                chart->scene()->render(&painter, QRectF(image.rect()), chart->sceneRect());
            }
            shows.push_back(t.nsecsElapsed() / 1e9);
        }
        return median(shows);
    };
    const NodeIndex away = biggest == tree->top() ? tree->child(tree->top(), 0) : biggest;
    if (heaviest != NoNode) {
        const double seconds = showSeconds(heaviest, away == heaviest ? tree->top() : away);
        std::printf("show_node_biggest_subfolder %.3f (%u rows in its list; peak %.1f MiB)\n", seconds,
            tree->childCount(heaviest), peakMiB());
    }
    const double showTop = showSeconds(tree->top(), away);
    std::printf(
        "show_node_top %.3f (list, statistics, four charts, painted; peak %.1f MiB)\n", showTop, peakMiB());

    // Header sorts of the current-folder list of the top node.
    const QByteArray listNotes = QByteArray::number(qulonglong(window.VTList->model()->rowCount())) + " rows";
    printSorts(window.VTList, "header_sort_list", rounds, listNotes.constData());

    // A click on the largest slice of each breakdown fills its drill-down list.
    const Statistics &statistics = window.Ctrl->statistics();
    const int timeKind = window.Ctrl->TimeKind();
    const std::vector<std::uint64_t> &ages = timeKind == 0 ? statistics.createAge
        : timeKind == 1                                    ? statistics.accessAge
                                                           : statistics.writeAge;
    const struct
    {
        const char *step;
        QChartView *chart;
        QAbstractItemView *list;
        int tab;
        int point;
        QString label;
        std::uint64_t files;
    } slices[] = {
        {"slice_click_largest_age_bucket", window.AgeChart, window.VTAge, 3, largest(ages), QString(),
            ages.empty() ? 0 : ages[std::size_t(largest(ages))]},
        {"slice_click_largest_size_bucket", window.SizeChart, window.VTSize, 4, largest(statistics.size),
            QString(), statistics.size.empty() ? 0 : statistics.size[std::size_t(largest(statistics.size))]},
        {"slice_click_largest_type", window.TypeChart, window.VTType, 5, 0,
            statistics.types.empty() ? QString() : statistics.types.front().first,
            statistics.types.empty() ? 0 : statistics.types.front().second},
    };
    for (const auto &slice : slices) {
        ChartPainter *painter = painterOf(window, slice.chart);
        if (!painter || slice.files == 0)
            continue;
        window.pcTotal->setCurrentIndex(slice.tab);
        QApplication::processEvents();
        const double seconds = sliceSeconds(painter, slice.point, slice.label, slice.list, rounds);
        std::printf("%s %.3f (%llu of %zu entries%s%s; peak %.1f MiB)\n", slice.step, seconds,
            static_cast<unsigned long long>(slice.files), tree->nodeCount() - 1,
            slice.label.isNull() ? "" : ", extension ", qPrintable(slice.label), peakMiB());
    }
    // Header sorts of the drill-down list of the largest size slice (the last one
    // filled above, still on its page).
    window.pcTotal->setCurrentIndex(4);
    QApplication::processEvents();
    const QByteArray sliceNotes =
        QByteArray::number(qulonglong(window.VTSize->model()->rowCount())) + " rows";
    printSorts(window.VTSize, "header_sort_slice", rounds, sliceNotes.constData());

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

    printEditSteps(window, trashHome, rounds);
    std::fflush(stdout);

    // The five exports of the Total Tree, from the window's own commands: the file
    // dialog answers a file of the scratch folder, whose files go once timed (a
    // catalog of two million rows is hundreds of MB).
    if (exportRounds > 0) {
        const QString scratch = scratchFolder.isEmpty()
            ? QDir::temp().filePath(
                QStringLiteral("folvane-window-bench-%1").arg(QCoreApplication::applicationPid()))
            : scratchFolder;
        QDir().mkpath(scratch);
        QString chosen;
        SetExportFileDialogForTests([&](QWidget *, const QString &suffix, const QString &, const QString &) {
            chosen = QDir(scratch).filePath(QStringLiteral("total-tree.") + suffix);
            return chosen;
        });
        SetOverwriteQuestionForTests([](const QString &) { return true; });
        QString message;
        SetExportMessageForTests([&](QMessageBox::Icon icon, const QString &, const QString &text) {
            if (icon != QMessageBox::NoIcon)
                message = text;
        });
        const struct
        {
            const char *step;
            ExportFormat format;
        } exports[] = {
            {"export_tree_csv", ExportFormat::Csv},
            {"export_tree_html", ExportFormat::Html},
            {"export_tree_text", ExportFormat::Text},
            {"export_tree_xml", ExportFormat::Xml},
            {"export_tree_excel", ExportFormat::Workbook},
        };
        window.pcTotal->setCurrentIndex(0);
        QApplication::processEvents();
        for (const auto &e : exports) {
            // Only the chosen ones, by the end of their step's name (a profile of one).
            const QString kind = QString::fromLatin1(e.step).section(QLatin1Char('_'), -1);
            if (!exportsChosen.isEmpty() && !exportsChosen.contains(kind))
                continue;
            std::vector<double> seconds;
            qint64 bytes = 0;
            message.clear();
            for (int r = 0; r < exportRounds; ++r) {
                chosen.clear();
                QElapsedTimer t;
                t.start();
                window.Ctrl->ExportList(window.VT, e.format);
                seconds.push_back(t.nsecsElapsed() / 1e9);
                if (!chosen.isEmpty()) {
                    bytes = QFileInfo(chosen).size();
                    QFile::remove(chosen);
                }
            }
            if (message.isEmpty())
                std::printf("%s %.3f (%.1f MB written; peak %.1f MiB)\n", e.step, median(seconds),
                    bytes / 1e6, peakMiB());
            else
                std::printf("%s %.3f (not written: %s; peak %.1f MiB)\n", e.step, median(seconds),
                    qPrintable(message.simplified()), peakMiB());
            std::fflush(stdout);
        }
        SetExportFileDialogForTests({});
        SetOverwriteQuestionForTests({});
        SetExportMessageForTests({});
        if (scratchFolder.isEmpty())
            QDir(scratch).removeRecursively();
    }
    return 0;
}
