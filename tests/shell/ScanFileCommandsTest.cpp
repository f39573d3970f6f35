// The File menu's scan files in the window: a scan saved and opened again, files that
// cannot be read leaving the window as it was, several files merged, a comparison
// shown with its two columns, and a stored scan that nothing removes or reads again.

#include "CatalogTreeModel.h"
#include "FlatListView.h"
#include "SampleTree.h"
#include "ScanFileCommands.h"
#include "TFolvaneCtrl.h"
#include "TreeComparison.h"
#include "WindowTest.h"

#include <QFile>

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTreeView>
#include <cstdio>

namespace {

class ScanFileCommandsTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        MakeSampleTree(fx);
        openWindow();
        openFolder(QFile::decodeName(fx.path()));
    }

    // Runs `command` and waits for the scan thread to bring the result.
    template <typename Command>
    void runAndWait(Command &&command)
    {
        QSignalSpy done(window->ScanFiles, &ScanFileCommands::done);
        command();
        ASSERT_TRUE(done.count() > 0 || done.wait(20000));
    }

    QString file(const char *name) const { return QFile::decodeName(fx.path()) + QStringLiteral(".") + name; }

    const CatalogTreeModel *model() const
    {
        return static_cast<const CatalogTreeModel *>(window->VT->model());
    }

    QStringList headers() const
    {
        QStringList names;
        for (const ListColumn &c : model()->columns())
            names << c.header;
        return names;
    }
};

TEST_F(ScanFileCommandsTest, SavedScanOpensAgainAndBrokenFilesChangeNothing)
{
    QStringList fileMenu;
    for (QAction *a : window->menuBar()->actions().front()->menu()->actions())
        fileMenu << a->text();
    EXPECT_TRUE(fileMenu.contains(QStringLiteral("Open &Scan..."))) << fileMenu.join(", ").toStdString();
    EXPECT_TRUE(fileMenu.contains(QStringLiteral("&Compare With...")));
    EXPECT_TRUE(fileMenu.contains(QStringLiteral("Save Sc&an...")));

    const std::shared_ptr<const CatalogTree> scanned = window->Ctrl->Scan();
    const QString saved = file("json.gz");
    EXPECT_EQ(window->ScanFiles->SaveScan(saved), QString());
    EXPECT_FALSE(window->ScanFiles->showsStoredScan());

    // A broken file and a missing one: said, and the scan stays shown.
    QFile broken(file("broken.json"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("[1,2,{},[{\"name\":\"/x\"},{\"name\":\"a\",\"asize\":-5}]]");
    broken.close();
    for (const QString &bad : {broken.fileName(), file("missing.json")}) {
        problems.clear();
        runAndWait([&] { window->ScanFiles->OpenScans({bad}); });
        ASSERT_EQ(problems.size(), 1);
        EXPECT_TRUE(problems.front().startsWith(bad + QStringLiteral(": ")))
            << problems.front().toStdString();
        EXPECT_EQ(window->Ctrl->Scan(), scanned);
    }
    EXPECT_TRUE(problems.front().contains(QStringLiteral("No such file"))) << problems.front().toStdString();

    runAndWait([&] { window->ScanFiles->OpenScans({saved}); });
    EXPECT_NE(window->Ctrl->Scan(), scanned);
    EXPECT_EQ(window->Ctrl->Scan()->node(0).size, scanned->node(0).size);
    EXPECT_EQ(window->Ctrl->Scan()->nodeCount(), scanned->nodeCount());
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("Opened ") + saved))
        << window->SB->text().toStdString();
    // What it shows is no folder here: nothing of it is removed or read again.
    EXPECT_TRUE(window->ScanFiles->showsStoredScan());
    const std::size_t before = window->Ctrl->Scan()->nodeCount();
    window->Refresh(window->VT, true);
    EXPECT_FALSE(window->isScanning());
    EXPECT_TRUE(window->SB->text().contains(QStringLiteral("nothing is removed or read again")));
    EXPECT_EQ(window->Ctrl->Scan()->nodeCount(), before);

    // Two files make one tree of two scans.
    runAndWait([&] { window->ScanFiles->OpenScans({saved, saved}); });
    EXPECT_EQ(window->Ctrl->Scan()->nameBytes(0), "2 scans");
    EXPECT_EQ(window->Ctrl->Scan()->node(0).size, 2 * scanned->node(0).size);
}

TEST_F(ScanFileCommandsTest, ComparisonShowsItsColumnsAndSortsByThem)
{
    const QString earlier = file("json");
    ASSERT_EQ(window->ScanFiles->SaveScan(earlier), QString());
    EXPECT_FALSE(headers().contains(QStringLiteral("Size Change")));
    fx.makeFile("b/c.bin", 1300); // 300 bytes before
    fx.makeFile("grown-new", 5);
    ASSERT_EQ(std::remove(fx.at("b/g").constData()), 0); // 1 byte
    openFolder(QFile::decodeName(fx.path()));

    runAndWait([&] { window->ScanFiles->CompareWith(earlier); });
    const std::shared_ptr<const CatalogTree> compared = window->Ctrl->Scan();
    ASSERT_TRUE(compared->comparison());
    EXPECT_EQ(compared->fieldText(0, SizeChange), "1004");
    const NodeIndex b = NodeAtPath(*compared, "b");
    ASSERT_EQ(compared->childCount(b), 3u); // the removed entry after the others
    EXPECT_EQ(compared->fieldText(compared->child(b, 2), Change), "removed");
    EXPECT_TRUE(headers().contains(QStringLiteral("Size Change")));
    EXPECT_TRUE(headers().contains(QStringLiteral("Change")));
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("Compared with ") + earlier))
        << window->SB->text().toStdString();

    // A click on the Size Change header sorts by it: what grew most comes first (the
    // second click sorts descending).
    const int column = int(headers().indexOf(QStringLiteral("Size Change")));
    emit window->VT->header()->sectionClicked(column);
    emit window->VT->header()->sectionClicked(column);
    const QModelIndex top = model()->index(0, 0);
    QStringList order;
    for (int r = 0; r < model()->rowCount(top); ++r)
        order << model()->data(model()->index(r, 0, top)).toString();
    EXPECT_EQ(order.value(0), QStringLiteral("b")) << order.join(", ").toStdString();

    // Hidden, the removed entry goes, and comes back when shown again.
    runAndWait([&] { window->ScanFiles->actHideRemoved->setChecked(true); });
    EXPECT_EQ(window->Ctrl->Scan()->childCount(NodeAtPath(*window->Ctrl->Scan(), "b")), 2u);
    EXPECT_EQ(window->Ctrl->Scan()->fieldText(0, SizeChange), "1004");
    runAndWait([&] { window->ScanFiles->actHideRemoved->setChecked(false); });
    EXPECT_EQ(window->Ctrl->Scan()->childCount(NodeAtPath(*window->Ctrl->Scan(), "b")), 3u);

    // A new scan shows no comparison and the columns go again.
    openFolder(QFile::decodeName(fx.path()));
    EXPECT_FALSE(headers().contains(QStringLiteral("Size Change")));
}

} // namespace
