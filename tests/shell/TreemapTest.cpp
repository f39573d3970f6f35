// The Treemap tab in the real window, offscreen: a click selects as the lists do, a
// double click opens a folder, Up goes back, hovering names the entry, files take
// their type's colour from the type chart, an edit of the scan is drawn again, and
// the picture saves as PNG.

#include "CatalogTreeModel.h"
#include "CellText.h"
#include "ExportFile.h"
#include "FlatListView.h"
#include "NodeListModel.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"
#include "TreemapPage.h"
#include "TreemapView.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QPieSeries>
#include <QPieSlice>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

namespace {

class TreemapTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        fx.makeFolder("sub");
        fx.makeFile("sub/big.bin", 40000);
        fx.makeFile("sub/a.txt", 9000);
        fx.makeFile("c.log", 50000);
        fx.makeFile("d.txt", 30000);
        fx.makeFile("e.txt", 20000);
        openWindow();
        window->resize(900, 700);
        openFolder(QString::fromUtf8(fx.path()));
        window->pcTotal->setCurrentWidget(window->Treemap);
        waitForPicture();
    }

    TreemapView *view() const { return window->Treemap->view(); }
    const CatalogTree &tree() const { return *window->Ctrl->Scan(); }

    void waitForPicture()
    {
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return !view()->isDrawing() && !view()->tiles().empty(); }, 10000));
    }

    // The node at `relative` below the scanned folder.
    NodeIndex nodeAt(const QByteArray &relative) const
    {
        for (NodeIndex n = 0; n < tree().nodeCount(); ++n) {
            if (!tree().isRetired(n) && tree().fullPathBytes(n) == fx.at(relative))
                return n;
        }
        return NoNode;
    }

    // The middle of the node's tile in the picture shown.
    QPoint centreOf(NodeIndex node) const
    {
        for (const TreemapTile &t : view()->tiles()) {
            if (t.node == node && t.kind == TreemapTile::Entry)
                return t.rect.toRectF().center().toPoint();
        }
        ADD_FAILURE() << "no tile of node " << node;
        return QPoint(-1, -1);
    }

    NodeIndex selectedIn(QAbstractItemView *grid) const
    {
        const QModelIndexList rows = grid->selectionModel()->selectedRows();
        if (rows.size() != 1)
            return NoNode;
        if (grid == window->VT)
            return static_cast<CatalogTreeModel *>(grid->model())->nodeOf(rows.first());
        return static_cast<NodeListModel *>(grid->model())->record(rows.first().row()).index();
    }
};

TEST_F(TreemapTest, ClickSelectsDoubleClickOpensUpGoesBack)
{
    const QString top = QString::fromUtf8(fx.path());
    const NodeIndex log = nodeAt("c.log");
    QTest::mouseClick(view(), Qt::LeftButton, {}, centreOf(log));
    EXPECT_EQ(selectedIn(window->VT), log);
    EXPECT_EQ(selectedIn(window->VTList), log);
    EXPECT_EQ(window->lbPath->text(), top) << "a click keeps the current folder";

    // An entry deeper down: selected in the Total Tree, which opens its folder; the
    // current folder's list has no row of it.
    const NodeIndex big = nodeAt("sub/big.bin");
    QTest::mouseClick(view(), Qt::LeftButton, {}, centreOf(big));
    EXPECT_EQ(selectedIn(window->VT), big);
    EXPECT_TRUE(
        window->VT->isExpanded(static_cast<CatalogTreeModel *>(window->VT->model())->indexOf(nodeAt("sub"))));
    EXPECT_TRUE(window->VTList->selectionModel()->selectedRows().isEmpty());

    // Double click: the child of the top under the pointer opens, and the treemap shows it.
    QTest::mouseDClick(view(), Qt::LeftButton, {}, centreOf(big));
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(fx.at("sub")));
    waitForPicture();
    EXPECT_EQ(view()->top(), nodeAt("sub"));
    EXPECT_EQ(view()->tiles().size(), 3U) << "sub, big.bin and a.txt";

    view()->setFocus();
    QTest::keyClick(view(), Qt::Key_Up);
    EXPECT_EQ(window->lbPath->text(), top);
    waitForPicture();
    EXPECT_EQ(view()->top(), tree().top());
}

TEST_F(TreemapTest, HoverNamesTheEntryAndFilesTakeTheirTypesChartColour)
{
    const NodeIndex d = nodeAt("d.txt");
    QTest::mouseMove(view(), centreOf(d));
    const QString message = window->statusBar()->currentMessage();
    EXPECT_TRUE(message.startsWith(QString::fromUtf8(fx.at("d.txt")))) << message.toStdString();
    EXPECT_TRUE(message.endsWith(SizeCellText(30000))) << message.toStdString();

    const auto &types = window->Ctrl->statistics().types;
    auto *pie = qobject_cast<QPieSeries *>(window->TypeChart->chart()->series().value(0));
    ASSERT_NE(pie, nullptr);
    for (const char *name : {"d.txt", "c.log"}) {
        const QString extension = QString::fromLatin1(name).section(QLatin1Char('.'), 1);
        qsizetype slice = -1;
        for (std::size_t i = 0; i < types.size(); ++i)
            slice = types[i].first == extension ? qsizetype(i) : slice;
        ASSERT_GE(slice, 0) << name;
        const QColor chart = pie->slices().value(slice)->color();
        const QColor shown = view()->picture().pixelColor(centreOf(nodeAt(name)));
        const int apart = std::abs(shown.hsvHue() - chart.hsvHue());
        EXPECT_LE(std::min(apart, 360 - apart), 3) << name;
    }
}

TEST_F(TreemapTest, AnEditedScanIsDrawnAgainAndThePictureSavesAsPng)
{
    const NodeIndex log = nodeAt("c.log");
    const QPoint where = centreOf(log);
    window->Ctrl->RemoveFromScan({log});
    waitForPicture();
    for (const TreemapTile &t : view()->tiles())
        EXPECT_FALSE(tree().isRetired(t.node)) << t.node;
    QTest::mouseClick(view(), Qt::LeftButton, {}, where);
    EXPECT_NE(selectedIn(window->VT), log);

    const QString png = QString::fromUtf8(fx.at("treemap.png"));
    SetExportFileDialogForTests([png](QWidget *, const QString &suffix, const QString &, const QString &) {
        EXPECT_EQ(suffix, QStringLiteral("png"));
        return png;
    });
    QStringList messages;
    SetExportMessageForTests(
        [&](QMessageBox::Icon, const QString &, const QString &text) { messages << text; });
    QAction *save = nullptr;
    for (QAction *action : window->Treemap->findChild<QToolBar *>()->actions())
        save = action->text() == QLatin1String("Save as PNG") ? action : save;
    ASSERT_NE(save, nullptr);
    save->trigger();
    EXPECT_EQ(messages, QStringList {QStringLiteral("Export Finished")});
    const QImage saved(png, "png");
    EXPECT_EQ(saved.size(), view()->size());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), view()->picture());
}

} // namespace
