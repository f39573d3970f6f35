// The real main window, offscreen: scans through Open Folder and a drop,
// navigation, sorting, the column dialog, the layout saved at close, and a cancelled
// scan.

#include "CatalogFields.h"
#include "CatalogTreeModel.h"
#include "CellText.h"
#include "ChartPainter.h"
#include "Fixture.h"
#include "FlatListView.h"
#include "FolderPicker.h"
#include "FolderScanner.h"
#include "NodeListModel.h"
#include "RangeStatistics.h"
#include "SizeBarDelegate.h"
#include "TConfig.h"
#include "TFolvaneCtrl.h"
#include "TFormConfig.h"
#include "TFormMain.h"
#include "TWaitForm.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace {

class MainWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Sizes: a/ {x 300, y 5}, b/ {z 1000}, c.txt 20, d.txt 7
        fx.makeFolder("a");
        fx.makeFile("a/x", 300);
        fx.makeFile("a/y", 5);
        fx.makeFolder("b");
        fx.makeFile("b/z", 1000);
        fx.makeFile("c.txt", 20);
        fx.makeFile("d.txt", 7);
        openWindow();
    }

    void drop(const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QSignalSpy shown(window.get(), &TFormMain::scanShown);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
        ASSERT_TRUE(shown.count() > 0 || shown.wait(20000));
    }

    QString root() const { return QString::fromUtf8(fx.path()); }
    CatalogTreeModel *treeModel() const { return static_cast<CatalogTreeModel *>(window->VT->model()); }
    NodeListModel *listModel() const { return static_cast<NodeListModel *>(window->VTList->model()); }

    // Names of the current-folder list, top to bottom.
    QStringList listNames() const
    {
        QStringList names;
        for (const TCatalogNode &row : listModel()->rows().records())
            names << row.text(FileName);
        return names;
    }

    // Names of the top node's children in VT, top to bottom.
    QStringList treeNames() const
    {
        QStringList names;
        const QModelIndex top = treeModel()->index(0, 0);
        for (int r = 0; r < treeModel()->rowCount(top); ++r)
            names << treeModel()->index(r, 0, top).data().toString();
        return names;
    }

    int columnOf(const char *name) const
    {
        for (int i = 0; i < treeModel()->columnCount(); ++i) {
            if (treeModel()->headerData(i, Qt::Horizontal).toString() == QLatin1String(name))
                return i;
        }
        return -1;
    }
};

TEST_F(MainWindowTest, StartsEmptyWithItsLayout)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Folvane 2.0"));
    EXPECT_EQ(window->lbPath->text(), QStringLiteral("Current Path"));
    EXPECT_FALSE(window->btnUp->isEnabled());
    ASSERT_EQ(window->pcTotal->count(), 7);
    const char *tabs[] = {"Total Tree", "Current Path File List", "Current Path File Chart", "Age of Files",
        "Size of Files", "Type of Files", "Treemap"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(window->pcTotal->tabText(i), QLatin1String(tabs[i]));
        EXPECT_FALSE(window->pcTotal->tabIcon(i).isNull()) << tabs[i];
    }
    // The default catalogue: 15 columns, "File Type" hidden.
    EXPECT_EQ(treeModel()->columnCount(), 15);
    EXPECT_TRUE(window->VT->header()->isSectionHidden(columnOf("File Type")));
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
}

TEST_F(MainWindowTest, OpenFolderScansAndANavigationShowsEveryLevel)
{
    openFolder(root());
    EXPECT_EQ(window->lbPath->text(), root());
    EXPECT_FALSE(window->btnUp->isEnabled());
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("Scanned 7 entries (5 files, 2 folders)")))
        << window->SB->text().toStdString();
    // Folders first, then by name.
    EXPECT_EQ(treeNames(), (QStringList {"a", "b", "c.txt", "d.txt"}));
    EXPECT_EQ(listNames(), (QStringList {"a", "b", "c.txt", "d.txt"}));

    // Double click on a folder in the list opens it.
    const QModelIndex a = listModel()->index(0, 0);
    emit window->VTList->doubleClicked(a);
    EXPECT_EQ(window->lbPath->text(), root() + QStringLiteral("/a"));
    EXPECT_TRUE(window->btnUp->isEnabled());
    EXPECT_EQ(listNames(), (QStringList {"x", "y"}));

    // Up goes one level up and is disabled again at the top.
    window->btnUp->click();
    EXPECT_EQ(window->lbPath->text(), root());
    EXPECT_FALSE(window->btnUp->isEnabled());

    // Selecting a node in VT makes it current.
    const QModelIndex b = treeModel()->index(1, 0, treeModel()->index(0, 0));
    window->VT->setCurrentIndex(b);
    EXPECT_EQ(window->lbPath->text(), root() + QStringLiteral("/b"));
    EXPECT_EQ(listNames(), (QStringList {"z"}));

    // A cancelled choice keeps the scan and goes back to its top.
    SetFolderPickerForTests([](QWidget *, const QString &) { return QString(); });
    window->btnOpen->click();
    EXPECT_EQ(window->lbPath->text(), root());
    EXPECT_EQ(treeModel()->rowCount(treeModel()->index(0, 0)), 4);
}

TEST_F(MainWindowTest, DroppedFoldersTheLastOneWinsFilesAreIgnored)
{
    Fixture other;
    other.makeFile("only", 1);
    drop({QUrl::fromLocalFile(root()), QUrl::fromLocalFile(root() + QStringLiteral("/c.txt")),
        QUrl::fromLocalFile(QString::fromUtf8(other.path()))});
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(other.path()));
    EXPECT_EQ(listNames(), (QStringList {"only"}));

    // A file alone scans nothing.
    drop({QUrl::fromLocalFile(root() + QStringLiteral("/c.txt"))});
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(other.path()));
}

TEST_F(MainWindowTest, HeaderClicksSortFoldersFirstAndFlipDirection)
{
    openFolder(root());
    QHeaderView *header = window->VT->header();
    const int size = columnOf("File Size");
    ASSERT_GE(size, 0);
    emit header->sectionClicked(size); // first click: ascending
    EXPECT_EQ(treeNames(), (QStringList {"a", "b", "d.txt", "c.txt"}));
    EXPECT_EQ(header->sortIndicatorSection(), size);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    emit header->sectionClicked(size); // flips: folders still first
    EXPECT_EQ(treeNames(), (QStringList {"b", "a", "c.txt", "d.txt"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // A click on VTList changes the field the next scan of VT is sorted by.
    emit window->VTList->header()->sectionClicked(columnOf("File Name"));
    openFolder(root());
    EXPECT_EQ(window->Ctrl->SortField(), int(FileName));
}

TEST_F(MainWindowTest, ColumnDialogOkHidesEverywhereAndSavesCancelChangesNothing)
{
    openFolder(root());
    const QString file = GetConfig().FileName();
    const int dos = columnOf("DOS Name");
    ASSERT_GE(dos, 0);
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    const auto answer = [](bool ok, int uncheck) {
        QTimer::singleShot(0, [ok, uncheck] {
            auto *dialog = qobject_cast<TFormConfig *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto *list = dialog->findChild<QListWidget *>();
            list->item(uncheck)->setCheckState(Qt::Unchecked);
            ok ? dialog->BitBtn1Click() : dialog->BitBtn2Click();
        });
    };

    // Cancel, from a right click on a header.
    answer(false, dos);
    emit window->VTList->header()->customContextMenuRequested(QPoint(5, 5));
    EXPECT_FALSE(window->VT->header()->isSectionHidden(dos));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    f.close();

    answer(true, dos);
    window->Ctrl->ShowColumnConfig();
    for (QAbstractItemView *grid : window->grids())
        EXPECT_TRUE(columnHeader(grid)->isSectionHidden(dos));
    ResetConfig();
    UseConfigFile(file);
    EXPECT_FALSE(GetConfig().Document().nodes().node(4).visible()); // "DOS Name" is entry 4
}

// Checking the offered "Disk Usage" in the column dialog adds a shown column to every
// grid at once, with each entry's figure.
TEST_F(MainWindowTest, ColumnDialogAddsDiskUsageToEveryGrid)
{
    openFolder(root());
    ASSERT_EQ(columnOf("Disk Usage"), -1);
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<TFormConfig *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *list = dialog->findChild<QListWidget *>();
        const QList<QListWidgetItem *> offered = list->findItems(QStringLiteral("Disk Usage"), Qt::MatchExactly);
        ASSERT_EQ(offered.size(), 1);
        offered.first()->setCheckState(Qt::Checked);
        dialog->BitBtn1Click();
    });
    window->Ctrl->ShowColumnConfig();

    const int disk = columnOf("Disk Usage");
    ASSERT_EQ(disk, 15);
    for (QAbstractItemView *grid : window->grids()) {
        EXPECT_EQ(grid->model()->columnCount(), 16);
        EXPECT_FALSE(columnHeader(grid)->isSectionHidden(disk));
    }
    const CatalogTree &tree = *treeModel()->scan();
    ASSERT_GT(tree.node(tree.top()).diskSize, 0u);
    EXPECT_EQ(treeModel()->index(0, disk).data().toString(), SizeCellText(double(tree.node(tree.top()).diskSize)));
}

TEST_F(MainWindowTest, OpenExplorerOpensTheChosenFolderOrTheFoldersOfFiles)
{
    openFolder(root());
    QList<QByteArray> opened;
    window->Ctrl->openFolder = [&opened](const QByteArray &folder) {
        opened << folder;
        return true;
    };
    window->Ctrl->OpenExplorer(window->VTList); // nothing chosen: the current folder
    // Focus makes the first row current without choosing it: still the current folder.
    window->VTList->selectionModel()->setCurrentIndex(
        listModel()->index(0, 0), QItemSelectionModel::NoUpdate);
    window->Ctrl->OpenExplorer(window->VTList);
    const QModelIndex top = treeModel()->index(0, 0);
    window->VT->setCurrentIndex(treeModel()->index(1, 0, top)); // b
    window->Ctrl->OpenExplorer(window->VT);
    window->VTList->setCurrentIndex(listModel()->index(0, 0)); // z, a file of b
    window->Ctrl->OpenExplorer(window->VTList);
    EXPECT_EQ(opened, (QList<QByteArray> {fx.path(), fx.path(), fx.at("b"), fx.at("b")}));

    // Without a file manager the status bar says so.
    window->Ctrl->openFolder = [](const QByteArray &) { return false; };
    window->Ctrl->OpenExplorer(window->VT);
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("No file manager could be started")))
        << window->SB->text().toStdString();
}

TEST_F(MainWindowTest, NamesThatReadAlikeAreReachedByTheirOwnBytes)
{
    // Two folders whose names differ only in bytes that are not UTF-8: both read "x\uFFFDy".
    Fixture odd;
    odd.makeFolder("x\xffy");
    odd.makeFile("x\xffy/first", 1);
    odd.makeFolder("x\xfey");
    odd.makeFile("x\xfey/second", 2);
    QSignalSpy shown(window.get(), &TFormMain::scanShown);
    ASSERT_TRUE(window->ScanPath(odd.path()));
    ASSERT_TRUE(shown.wait(20000));
    const std::shared_ptr<const CatalogTree> tree = treeModel()->scan();
    const auto currentBytes = [&] { return tree->fullPathBytes(window->Ctrl->CurrentNode()); };
    QList<QByteArray> opened;
    window->Ctrl->openFolder = [&opened](const QByteArray &folder) {
        opened << folder;
        return true;
    };
    for (const QByteArray &name : {QByteArray("x\xffy"), QByteArray("x\xfey")}) {
        SCOPED_TRACE(name.toHex().toStdString());
        int row = -1;
        for (int r = 0; r < listModel()->rowCount(); ++r)
            row = tree->nameBytes(listModel()->record(r).index()) == name ? r : row;
        ASSERT_GE(row, 0);
        // A double click in the current-folder list, then (after Up, which leaves the
        // Total Tree's row where it was) the same row's folder chart slice.
        emit window->VTList->doubleClicked(listModel()->index(row, 0));
        EXPECT_EQ(currentBytes(), odd.at(name));
        window->Ctrl->GoUp();
        ChartPainter *pathChart = nullptr;
        for (ChartPainter *painter : window->Ctrl->findChildren<ChartPainter *>())
            pathChart = painter->chart() == window->ChartFile->chart() ? painter : pathChart;
        ASSERT_NE(pathChart, nullptr);
        ASSERT_EQ(pathChart->points().at(row).label, QStringLiteral("x\uFFFDy"));
        emit pathChart->pointClicked(row, pathChart->points().at(row).label);
        EXPECT_EQ(currentBytes(), odd.at(name));
        window->Ctrl->GoUp();
        window->VTList->setCurrentIndex(listModel()->index(row, 0));
        window->Ctrl->OpenExplorer(window->VTList);
        EXPECT_EQ(opened.last(), odd.at(name));
    }
}

TEST_F(MainWindowTest, APathThatCannotBeScannedIsSaidAndTheShownScanStays)
{
    openFolder(root());
    const QByteArray file = fx.at("c.txt");
    const struct
    {
        QByteArray path;
        const char *why;
    } cases[] = {
        {fx.at("missing"), "No such file or directory"},
        {file, "not a folder"},
        {QByteArray(), "no folder given"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_FALSE(window->ScanPath(c.path));
        EXPECT_FALSE(window->isScanning());
        EXPECT_EQ(window->SB->text(),
            QStringLiteral("Cannot scan %1: %2").arg(QString::fromUtf8(c.path), QLatin1String(c.why)));
        EXPECT_EQ(window->lbPath->text(), root());
    }
    // A folder whose name is not UTF-8 is scanned as it is, from a drop too.
    Fixture odd;
    odd.makeFolder("n\xe9"
                   "e");
    odd.makeFile("n\xe9"
                 "e/f",
        3);
    drop({QUrl::fromEncoded("file://"
        + odd.at("n\xe9"
                 "e")
              .toPercentEncoding("/"))});
    EXPECT_EQ(treeModel()->scan()->fullPathBytes(treeModel()->scan()->top()),
        odd.at("n\xe9"
               "e"));
    EXPECT_EQ(treeModel()->scan()->node(treeModel()->scan()->top()).size, 3u);
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("Scanned 1 entries (1 files")))
        << window->SB->text().toStdString();
}

TEST_F(MainWindowTest, ACancelledChoiceOrADropOfNoFolderClassifiesAgainAsOfNow)
{
    // d.txt was written ten days ago; shown as if classified five days ago, it was
    // five days old then ("one week", bucket 2) and is "one month" (bucket 3) now.
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    const struct timespec times[2] = {{now - 10 * 86400, 0}, {now - 10 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, fx.at("d.txt").constData(), times, 0), 0);
    const auto showClassifiedFiveDaysAgo = [&] {
        ScanOptions options;
        options.ranges = BoundsOf(window->Ctrl->ranges());
        const ScanResult result = ScanFolder(fx.path(), options);
        ClassifyFiles(*result.tree, window->Ctrl->ranges(), now - 5 * 86400);
        window->Ctrl->ShowScan(result.tree);
        ASSERT_EQ(window->Ctrl->statistics().writeAge[2], 1u);
    };
    const std::function<void()> noFolder[] = {
        [&] { openFolder(QString()); }, [&] { drop({QUrl::fromLocalFile(root() + "/c.txt")}); }};
    for (const auto &again : noFolder) {
        showClassifiedFiveDaysAgo();
        again();
        EXPECT_EQ(window->Ctrl->statistics().writeAge[2], 0u);
        EXPECT_EQ(window->Ctrl->statistics().writeAge[3], 1u);
        const auto tree = treeModel()->scan();
        NodeIndex d = NoNode;
        for (NodeIndex n = 0; n < tree->nodeCount(); ++n)
            d = tree->name(n) == QLatin1String("d.txt") ? n : d;
        EXPECT_EQ(tree->fieldText(d, WriteAgeRange), QStringLiteral("3"));
    }
}

TEST_F(MainWindowTest, AListFilledAfreshShowsNoSortItDoesNotHave)
{
    openFolder(root());
    // The list sorted by its own header, descending...
    window->VTList->header()->sectionClicked(0);
    window->VTList->header()->sectionClicked(0);
    ASSERT_TRUE(window->VTList->header()->isSortIndicatorShown());
    ASSERT_EQ(window->VTList->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // ...then filled again in the Total Tree's order by a cancelled choice.
    openFolder(QString());
    EXPECT_EQ(listNames(), treeNames());
    EXPECT_FALSE(window->VTList->header()->isSortIndicatorShown());
}

TEST_F(MainWindowTest, ColumnsFollowTheCatalogueEntryByEntry)
{
    window.reset();
    ResetConfig();
    const QString file = configDir.filePath(QStringLiteral("columns.xml"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<config versionNo=\"2\"><nodes>"
            "<node Name=\"File Size\" Visible=\"True\" Index=\"1\" DefaultExport=\"True\" Width=\"90\" "
            "ReadOnly=\"False\" Align=\"right\"/>"
            "<node Name=\"No Such Field\" Visible=\"True\" Index=\"0\" DefaultExport=\"True\" Width=\"120\" "
            "ReadOnly=\"True\" Align=\"Right\"/>"
            "<node Name=\"File Ext\" Visible=\"False\" Index=\"2\" DefaultExport=\"True\" Width=\"50\" "
            "ReadOnly=\"True\" Align=\"center\"/>"
            "</nodes><agerange/><sizerange/></config>");
    f.close();
    UseConfigFile(file);
    openWindow();

    const ListColumns &columns = treeModel()->columns();
    ASSERT_EQ(columns.size(), 3);
    EXPECT_EQ(columns[0].field, int(FileBytes));
    EXPECT_EQ(columns[1].field, int(FileName)); // a name no field has shows FileName
    EXPECT_TRUE(columns[0].alignment & Qt::AlignRight);
    EXPECT_TRUE(columns[1].alignment & Qt::AlignLeft); // only "right" exactly aligns right
    EXPECT_TRUE(columns[2].alignment & Qt::AlignHCenter);
    EXPECT_EQ(columns[1].background, QColor(239, 243, 255));
    EXPECT_NE(columns[0].background, QColor(239, 243, 255));
    for (QAbstractItemView *grid : std::initializer_list<QAbstractItemView *> {window->VT, window->VTList, window->VTAge}) {
        EXPECT_EQ(columnHeader(grid)->sectionSize(0), 90);
        EXPECT_EQ(columnHeader(grid)->visualIndex(1), 0);
        EXPECT_TRUE(columnHeader(grid)->isSectionHidden(2));
    }
    // The name no field has is reported once, at start, whatever redraws follow.
    window->VT->viewport()->repaint();
    EXPECT_EQ(problems,
        QStringList {QStringLiteral(
            "the column \"No Such Field\" of the configuration names no field; it shows File Name")});
}

TEST_F(MainWindowTest, AConfigurationProblemIsShownOnceAtStart)
{
    window.reset();
    ResetConfig();
    const QString file = configDir.filePath(QStringLiteral("ranges.xml"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<config versionNo=\"2\"><nodes/><agerange/><sizerange>"
            "<item label=\"small\" value=\"10\"/><item label=\"huge\" value=\"3000000000\"/>"
            "</sizerange></config>");
    f.close();
    UseConfigFile(file);
    openWindow();
    ASSERT_EQ(problems.size(), 1) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems.first().contains(QStringLiteral("huge"))) << problems.first().toStdString();
    EXPECT_EQ(window->Ctrl->ranges().size.labels, QStringList {QStringLiteral("small")});
}

TEST_F(MainWindowTest, CloseSavesWidthsPositionsAndVisibility)
{
    QHeaderView *header = window->VT->header();
    header->resizeSection(0, 222);
    header->moveSection(header->visualIndex(2), 0);
    header->setSectionHidden(1, true);
    const QString file = GetConfig().FileName();
    window->close();
    ResetConfig();
    UseConfigFile(file);
    TXMLNodesType nodes = GetConfig().Document().nodes();
    EXPECT_EQ(nodes.node(0).width(), 222);
    EXPECT_EQ(nodes.node(2).index(), 0);
    EXPECT_FALSE(nodes.node(1).visible());
    EXPECT_EQ(nodes.node(1).width(), 173); // a hidden column keeps its width
}

// Size bars are on at start on the percentage column of every list, the Scan menu
// turns them off and on, and the choice outlives the window; the configuration of a
// window that keeps them on carries no trace of them.
TEST_F(MainWindowTest, SizeBarsAreOnAtStartAndTheirChoiceIsKept)
{
    const int percentage = columnOf("Size Percentage");
    ASSERT_GE(percentage, 0);
    const auto barsShown = [&] {
        int shown = 0;
        for (QAbstractItemView *grid : window->grids()) {
            auto *bars = qobject_cast<SizeBarDelegate *>(grid->itemDelegateForColumn(percentage));
            EXPECT_NE(bars, nullptr);
            shown += bars && bars->isShown() ? 1 : 0;
        }
        return shown;
    };
    EXPECT_TRUE(window->actSizeBars->isChecked());
    EXPECT_EQ(barsShown(), 5);
    EXPECT_EQ(window->VT->itemDelegateForColumn(columnOf("File Size")), nullptr);

    const QString file = GetConfig().FileName();
    window->actSizeBars->trigger();
    EXPECT_EQ(barsShown(), 0);
    window->close();
    ResetConfig();
    UseConfigFile(file);
    EXPECT_FALSE(GetConfig().Document().sizeBars());
    window.reset();
    openWindow();
    EXPECT_FALSE(window->actSizeBars->isChecked());
    EXPECT_EQ(barsShown(), 0);

    window->actSizeBars->trigger();
    EXPECT_EQ(barsShown(), 5);
    window->close();
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_FALSE(saved.readAll().contains("sizeBars"));
}

// The status bar gives the size in files and the space on disk.
TEST_F(MainWindowTest, TheStatusBarGivesTheSizeAndTheSpaceOnDisk)
{
    openFolder(root());
    const auto tree = treeModel()->scan();
    const CatalogNodeData &top = tree->node(tree->top());
    EXPECT_EQ(top.size, 1332u);
    EXPECT_TRUE(window->SB->text().contains(
        QStringLiteral("1.30 KB in files, %1 on disk in ").arg(SizeCellText(double(top.diskSize)))))
        << window->SB->text().toStdString();
}

TEST_F(MainWindowTest, CancelDuringAScanKeepsAConsistentPartialTree)
{
    Fixture big;
    // Many folders with a few files each: the walk has many steps to be stopped at.
    for (int i = 0; i < 400; ++i) {
        const QByteArray dir = "d" + QByteArray::number(i);
        big.makeFolder(dir);
        for (int j = 0; j < 20; ++j)
            big.makeFile(dir + "/f" + QByteArray::number(j), 1);
    }
    QSignalSpy shown(window.get(), &TFormMain::scanShown);
    ASSERT_TRUE(window->ScanPath(big.path()));
    // While it runs, a second scan and a drop are refused with a word why.
    EXPECT_FALSE(window->ScanPath(fx.path()));
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("A scan is running")))
        << window->SB->text().toStdString();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(root())});
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
    EXPECT_FALSE(event.isAccepted());
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("A scan is running")))
        << window->SB->text().toStdString();
    // Closing the wait dialog through the window manager cancels the scan; the
    // dialog stays until the scan has ended.
    window->WaitForm->close();
    EXPECT_TRUE(window->WaitForm->isVisible());
    ASSERT_TRUE(shown.count() > 0 || shown.wait(20000));
    EXPECT_FALSE(window->WaitForm->isVisible());
    const std::shared_ptr<const CatalogTree> tree = treeModel()->scan();
    ASSERT_TRUE(tree);
    // Whatever was read is rolled up: every folder is the sum of its children.
    for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
        if (!tree->isFolder(n))
            continue;
        std::uint64_t sum = 0;
        for (std::uint32_t r = 0; r < tree->childCount(n); ++r)
            sum += tree->node(tree->child(n, r)).size;
        EXPECT_EQ(tree->node(n).size, sum);
    }
    EXPECT_TRUE(
        window->SB->text().startsWith(QStringLiteral("Scan cancelled")) || tree->nodeCount() == 400 * 21 + 1)
        << window->SB->text().toStdString();
    EXPECT_FALSE(window->isScanning());
}

} // namespace

TEST_F(MainWindowTest, ScanMenuCountsHardLinksOnceWhenAsked)
{
    // b/z gets a second name: by default both count, as du -l would; asked, once.
    const QByteArray link = fx.at("a/z-again");
    ASSERT_EQ(::link(fx.at("b/z").constData(), link.constData()), 0);
    const auto total = [this] { return treeModel()->scan()->node(treeModel()->scan()->top()).size; };
    EXPECT_FALSE(window->actOneFileSystem->isChecked());
    EXPECT_FALSE(window->actCountLinksOnce->isChecked());
    openFolder(root());
    EXPECT_EQ(total(), 2332u);

    window->actCountLinksOnce->trigger();
    openFolder(root());
    EXPECT_EQ(total(), 1332u);
    EXPECT_EQ(treeModel()->scan()->nodeCount(), 9u) << "both names stay in the lists";
}
