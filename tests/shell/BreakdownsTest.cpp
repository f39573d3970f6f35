// The breakdowns in the real window, offscreen: slice clicks fill the drill-down
// lists, the chart switches redraw, "return" goes back, the folder chart opens a
// child, and a chart that cannot be saved says so.

#include "CatalogFields.h"
#include "CatalogTreeModel.h"
#include "ChartPainter.h"
#include "ExportFile.h"
#include "Fixture.h"
#include "FlatListView.h"
#include "FolderPicker.h"
#include "NodeListModel.h"
#include "TConfig.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <QAbstractSeries>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QLabel>
#include <QPieSeries>
#include <QPieSlice>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace {

class BreakdownsTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // sub/ { big.bin 20,000 B, a.TXT 5 B, b.txt 7 B }, c.log 50,000 B
        fx.makeFolder("sub");
        fx.makeFile("sub/big.bin", 20000);
        fx.makeFile("sub/a.TXT", 5);
        fx.makeFile("sub/b.txt", 7);
        fx.makeFile("c.log", 50000);
        // b.txt was last read 10 days ago: access bucket 3 ("one month").
        const std::time_t now = std::time(nullptr);
        const struct timespec times[2] = {{now - 10 * 86400, 0}, {now, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, fx.at("sub/b.txt").constData(), times, 0), 0);
        openWindow();
        openFolder(QString::fromUtf8(fx.path()));
    }

    ChartPainter *painterOf(QChartView *view) const
    {
        for (ChartPainter *painter : window->Ctrl->findChildren<ChartPainter *>()) {
            if (painter->chart() == view->chart())
                return painter;
        }
        return nullptr;
    }

    void click(QChartView *view, int point, const QString &label = QString())
    {
        ChartPainter *painter = painterOf(view);
        ASSERT_NE(painter, nullptr);
        emit painter->pointClicked(point, label);
    }

    // The child of the current node that has the name.
    NodeIndex childNamed(const QString &name) const
    {
        const auto tree = static_cast<CatalogTreeModel *>(window->VT->model())->scan();
        const NodeIndex current = window->Ctrl->CurrentNode();
        for (std::uint32_t row = 0; row < tree->childCount(current); ++row) {
            const NodeIndex child = tree->node(current).firstChild + row;
            if (tree->name(child) == name)
                return child;
        }
        return NoNode;
    }

    static QStringList names(QAbstractItemView *list)
    {
        QStringList out;
        for (const TCatalogNode &row : static_cast<NodeListModel *>(list->model())->rows().records())
            out << row.text(FileName);
        out.sort();
        return out;
    }
};

TEST_F(BreakdownsTest, SliceClicksFillTheirListsAndShowThem)
{
    // Size bucket 1 holds 10,000 to 99,999 bytes.
    click(window->SizeChart, 1);
    EXPECT_EQ(window->pcSize->currentIndex(), 1);
    EXPECT_EQ(names(window->VTSize), (QStringList {"big.bin", "c.log"}));

    // The type slice lists every file it counted, whatever the letter case.
    const auto &types = window->Ctrl->statistics().types;
    int txt = -1;
    for (std::size_t i = 0; i < types.size(); ++i)
        txt = types[i].first == QLatin1String("TXT") ? int(i) : txt;
    ASSERT_GE(txt, 0);
    EXPECT_EQ(types[std::size_t(txt)].second, 2u);
    click(window->TypeChart, txt, QStringLiteral("TXT"));
    EXPECT_EQ(window->pcType->currentIndex(), 1);
    EXPECT_EQ(names(window->VTType), (QStringList {"a.TXT", "b.txt"}));

    // Ages of the time kind chosen: last access, bucket 3.
    window->sbAccess->click();
    click(window->AgeChart, 3);
    EXPECT_EQ(window->pcAge->currentIndex(), 1);
    EXPECT_EQ(names(window->VTAge), (QStringList {"b.txt"}));

    // Moving elsewhere keeps a list on view as it was.
    window->Ctrl->OpenChild(childNamed("sub"));
    EXPECT_EQ(names(window->VTSize), (QStringList {"big.bin", "c.log"}));
}

// "By Size" measures the extensions by their bytes (a count is the default) and its
// slices list the same files as the count's.
TEST_F(BreakdownsTest, TypesBySizeShowBytesPerExtensionWithTheSameLists)
{
    const auto pointsOf = [this] {
        QStringList points;
        for (const ChartPoint &p : painterOf(window->TypeChart)->points())
            points << QStringLiteral("%1=%2").arg(p.label).arg(p.value);
        return points;
    };
    EXPECT_FALSE(window->tbTypeBySize->isChecked());
    EXPECT_EQ(window->tbTypeBySize->accessibleName(), QStringLiteral("By Size"));
    EXPECT_FALSE(window->tbTypeBySize->toolTip().isEmpty());
    EXPECT_EQ(pointsOf(), (QStringList {"TXT=2", "bin=1", "log=1"}));

    window->tbTypeBySize->click();
    EXPECT_EQ(pointsOf(), (QStringList {"log=50000", "bin=20000", "TXT=12"}));
    EXPECT_EQ(painterOf(window->TypeChart)->markText(0), QStringLiteral("log  71.4%"));
    click(window->TypeChart, 2, QStringLiteral("TXT"));
    EXPECT_EQ(names(window->VTType), (QStringList {"a.TXT", "b.txt"}));

    window->tbTypeBySize->click();
    EXPECT_EQ(pointsOf(), (QStringList {"TXT=2", "bin=1", "log=1"}));
}

TEST_F(BreakdownsTest, AClickedSliceTakesItsTipAlong)
{
    auto *pie = qobject_cast<QPieSeries *>(window->SizeChart->chart()->series().value(0));
    ASSERT_NE(pie, nullptr);
    QPieSlice *slice = pie->slices().value(1);
    ASSERT_NE(slice, nullptr);
    emit slice->hovered(true);
    ASSERT_TRUE(QToolTip::isVisible());
    emit slice->clicked();
    EXPECT_EQ(window->pcSize->currentIndex(), 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000)); // a tip fades out
}

TEST_F(BreakdownsTest, BarWhileAccessIsDownDrawsAccessAgesAsBars)
{
    window->sbAccess->click();
    window->tbBar->click();
    const QList<QAbstractSeries *> series = window->AgeChart->chart()->series();
    ASSERT_FALSE(series.isEmpty());
    EXPECT_NE(series.first()->type(), QAbstractSeries::SeriesTypePie);
    const QList<ChartPoint> &points = painterOf(window->AgeChart)->points();
    const std::vector<std::uint64_t> &access = window->Ctrl->statistics().accessAge;
    ASSERT_EQ(points.size(), qsizetype(access.size()));
    for (std::size_t i = 0; i < access.size(); ++i)
        EXPECT_EQ(points[qsizetype(i)].value, double(access[i]))
            << "bucket " << i << " " << points[qsizetype(i)].label.toStdString();
    EXPECT_EQ(points.last().label, QStringLiteral("above one year"));
}

TEST_F(BreakdownsTest, ReturnShowsTheChartAgainWithoutRedrawingIt)
{
    click(window->SizeChart, 1);
    const QList<QAbstractSeries *> before = window->SizeChart->chart()->series();
    QWidget *listPage = window->pcSize->widget(1);
    QAction *back = nullptr;
    for (QAction *action : listPage->findChild<QToolBar *>()->actions())
        back = action->text() == QLatin1String("return") ? action : back;
    ASSERT_NE(back, nullptr);
    back->trigger();
    EXPECT_EQ(window->pcSize->currentIndex(), 0);
    EXPECT_EQ(window->SizeChart->chart()->series(), before);
}

TEST_F(BreakdownsTest, TheFolderChartOpensTheClickedChild)
{
    const QList<ChartPoint> &points = painterOf(window->ChartFile)->points();
    int sub = -1;
    for (int i = 0; i < points.size(); ++i)
        sub = points[i].label == QLatin1String("sub") ? i : sub;
    ASSERT_GE(sub, 0);
    click(window->ChartFile, sub, QStringLiteral("sub"));
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(fx.path()) + QStringLiteral("/sub"));
}

TEST_F(BreakdownsTest, HugeFoldersChartTheirLargestEntriesAndShareTheRest)
{
    Fixture wide;
    for (int i = 1; i <= 150; ++i)
        wide.makeFile("f" + QByteArray::number(i), std::uint64_t(i));
    QSignalSpy shown(window.get(), &TFormMain::scanShown);
    window->ScanPath(wide.path());
    ASSERT_TRUE(shown.wait(20000));

    const QList<ChartPoint> &points = painterOf(window->ChartFile)->points();
    ASSERT_EQ(points.size(), 100);
    EXPECT_EQ(points.last().label, QStringLiteral("51 other entries"));
    EXPECT_EQ(points.last().value, double(51 * 52 / 2)); // f1 .. f51
    for (int i = 0; i < 99; ++i)
        EXPECT_GE(points[i].value, 52.0) << points[i].label.toStdString();
    // The shared slice opens nothing.
    const QString path = window->lbPath->text();
    click(window->ChartFile, 99, points.last().label);
    EXPECT_EQ(window->lbPath->text(), path);
}

TEST_F(BreakdownsTest, AChartThatCannotBeSavedSaysWhyAndWritesNothing)
{
    // A folder no one may write, root included: a read-only mount.
    Fixture target;
    target.makeFolder("ro");
    const QByteArray ro = target.at("ro");
    if (::mount("tmpfs", ro.constData(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a read-only file system here";
    const QString file = QString::fromUtf8(ro) + QStringLiteral("/chart.bmp");
    SetExportFileDialogForTests(
        [file](QWidget *, const QString &, const QString &, const QString &) { return file; });
    QStringList messages;
    SetExportMessageForTests([&messages](QMessageBox::Icon, const QString &caption, const QString &text) {
        messages << caption + QStringLiteral(": ") + text;
    });
    SaveChart(window.get(), window->SizeChart);
    ::umount(ro.constData());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_FALSE(messages.first().contains(QStringLiteral("Export Finished")));
    EXPECT_TRUE(messages.first().contains(file)) << messages.first().toStdString();
    EXPECT_TRUE(messages.first().contains(QStringLiteral("Read-only file system")))
        << messages.first().toStdString();
    EXPECT_FALSE(QFileInfo::exists(file));
}

} // namespace
