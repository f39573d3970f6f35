// The export buttons of the five lists in the real window, offscreen: which rows each
// button writes and in what order, the file choice and wait texts of each format, a
// cancelled choice, an empty list, and a file that cannot be written.

#include "CatalogFields.h"
#include "ChartPainter.h"
#include "ExportColumns.h"
#include "ExportFile.h"
#include "ExportRows.h"
#include "FlatListView.h"
#include "NodeListModel.h"
#include "RowsOf.h"
#include "TableExport.h"
#include "TConfig.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"
#include "TWaitForm.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <QChartView>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeView>

#include <functional>
#include <sys/mount.h>

namespace {

// Records the wait dialog coming up (with the text it shows) and going down, and
// tells `onShow` of it coming up.
class WaitWatcher : public QObject
{
public:
    explicit WaitWatcher(QStringList &events) : m_events(events) { }

    std::function<void(const QString &text)> onShow;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            const QString text = static_cast<TWaitForm *>(watched)->waitText();
            m_events << QStringLiteral("wait: ") + text;
            if (onShow)
                onShow(text);
        } else if (event->type() == QEvent::Hide) {
            m_events << QStringLiteral("wait down");
        }
        return false;
    }

private:
    QStringList &m_events;
};

class ExportCommandsTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(out.isValid());
        // sub/ { big.bin 20,000 B, a.TXT 5 B, b.txt 7 B }, c.log 50,000 B
        fx.makeFolder("sub");
        fx.makeFile("sub/big.bin", 20000);
        fx.makeFile("sub/a.TXT", 5);
        fx.makeFile("sub/b.txt", 7);
        fx.makeFile("c.log", 50000);
        openWindow();
        openFolder(QString::fromUtf8(fx.path()));
        watch();

        SetExportFileDialogForTests(
            [this](QWidget *, const QString &suffix, const QString &filter, const QString &initial) {
                events << QStringLiteral("choose %1 %2 [%3]").arg(suffix, filter, initial);
                return chosen;
            });
        SetOverwriteQuestionForTests([](const QString &) { return true; });
        SetExportMessageForTests([this](QMessageBox::Icon icon, const QString &caption, const QString &text) {
            events << QStringLiteral("message %1 %2: %3").arg(int(icon)).arg(caption, text);
        });
    }

    void TearDown() override
    {
        SetOverwriteQuestionForTests({});
        WindowTest::TearDown();
    }

    void watch()
    {
        watcher = std::make_unique<WaitWatcher>(events);
        window->WaitForm->installEventFilter(watcher.get());
    }

    // The tool-bar button `tip` above `grid`, as the user presses it.
    static void press(QAbstractItemView *grid, const char *tip)
    {
        auto *bar = grid->parentWidget()->findChild<QToolBar *>();
        ASSERT_NE(bar, nullptr);
        for (QAction *action : bar->actions()) {
            if (action->text() == QLatin1String(tip)) {
                EXPECT_TRUE(action->isEnabled()) << tip;
                action->trigger();
                return;
            }
        }
        FAIL() << "no button " << tip;
    }

    void clickSlice(QChartView *view, int point, const QString &label = QString())
    {
        for (ChartPainter *painter : window->Ctrl->findChildren<ChartPainter *>()) {
            if (painter->chart() == view->chart())
                emit painter->pointClicked(point, label);
        }
    }

    static QByteArray contents(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }

    // The Full Path of every line of a CSV file below its header, relative to the
    // scanned folder ("" for the folder itself).
    QStringList csvPaths(const QString &file) const
    {
        QList<QByteArray> lines = contents(file).split('\n');
        QStringList paths;
        const QByteArray top = fx.path();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].split(',');
            if (fields.size() > 1)
                paths << QString::fromUtf8(fields[1].mid(top.size()));
        }
        return paths;
    }

    static QStringList listPaths(QAbstractItemView *list, const QByteArray &top)
    {
        QStringList paths;
        for (const TCatalogNode &row : static_cast<NodeListModel *>(list->model())->rows().records())
            paths << row.text(FullPath).mid(top.size());
        return paths;
    }

    bool finished() const { return events.filter(QStringLiteral("Export Finished")).size() > 0; }

    QTemporaryDir out;
    QString chosen;
    QStringList events;
    std::unique_ptr<WaitWatcher> watcher;
};

TEST_F(ExportCommandsTest, EachButtonExportsItsOwnTabsListInItsPresentOrder)
{
    const QString file = out.filePath(QStringLiteral("list.csv"));
    chosen = file;

    // Size bucket 1 (10,000 to 99,999 bytes): the drill-down list, as it stands.
    clickSlice(window->SizeChart, 1);
    ASSERT_EQ(window->pcSize->currentIndex(), 1);
    const QStringList sizeRows = listPaths(window->VTSize, fx.path());
    ASSERT_EQ(sizeRows.size(), 2);
    press(window->VTSize, "Export to CSV");
    EXPECT_EQ(csvPaths(file), sizeRows);

    press(window->VTList, "Export to CSV");
    EXPECT_EQ(csvPaths(file), listPaths(window->VTList, fx.path()));
    EXPECT_EQ(csvPaths(file).size(), 2); // sub, c.log

    // The whole tree, though only its top is expanded; then after two clicks on the
    // size header: descending by size, folders first, at every level.
    window->VT->collapseAll();
    press(window->VT, "Export to CSV");
    EXPECT_EQ(csvPaths(file).size(), 6);
    QHeaderView *header = window->VT->header();
    int size = -1;
    for (int i = 0; i < header->count(); ++i)
        size = window->VT->model()->headerData(i, Qt::Horizontal).toString() == QLatin1String("File Size")
            ? i
            : size;
    ASSERT_GE(size, 0);
    emit header->sectionClicked(size);
    emit header->sectionClicked(size);
    press(window->VT, "Export to CSV");
    const QStringList sorted {"", "/sub", "/sub/big.bin", "/sub/b.txt", "/sub/a.TXT", "/c.log"};
    EXPECT_EQ(csvPaths(file), sorted);
    // The catalog of the XML export walks the same order.
    chosen = out.filePath(QStringLiteral("tree.xml"));
    press(window->VT, "Export to XML");
    QStringList catalog;
    const ExportRows &elements = window->XMLDoc.elements();
    for (std::size_t i = 0; i < elements.size(); ++i)
        catalog << elements.text(i, FullPath).mid(fx.path().size());
    EXPECT_EQ(catalog, sorted);
    EXPECT_EQ(events.filter(QStringLiteral("Export Finished")).size(), 5);
}

TEST_F(ExportCommandsTest, EveryFormatChoosesItsFileThenWritesUnderTheWaitDialog)
{
    clickSlice(window->TypeChart, 0, window->Ctrl->statistics().types.at(0).first);
    const std::vector<TCatalogNode> typeRows = static_cast<NodeListModel *>(window->VTType->model())->rows().records();
    ASSERT_FALSE(typeRows.empty());
    const QStringList columns = GetExportColumns(GetConfig().Document().nodes());

    struct Case
    {
        const char *tip, *file, *choice;
        bool gathers;
    };
    const Case cases[] = {
        {"Export to HTML", "t.htm", "choose htm HTML File (*.htm) []", false},
        {"Export to XML", "t.xml", "choose xml XML File (*.XML) []", true},
        {"Export to Text", "t.txt", "choose txt Text File (*.txt) []", false},
        {"Export to CSV", "t.csv", "choose csv CSV File (*.csv) []", false},
        {"Export to Excel", "t.xlsx", "choose xlsx EXCEL File (*.xlsx) []", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tip);
        events.clear();
        chosen = out.filePath(QLatin1String(c.file));
        press(window->VTType, c.tip);
        QStringList expected;
        if (c.gathers)
            expected << QStringLiteral("wait: Gathering info..") << QStringLiteral("wait down");
        expected << QLatin1String(c.choice) << QStringLiteral("wait: Export to file..")
                 << QStringLiteral("wait down") << QStringLiteral("message 0 Done: Export Finished");
        EXPECT_EQ(events, expected);
        EXPECT_FALSE(window->WaitForm->isVisible());
    }

    // Each file is its writer's output for this list and the columns marked for export.
    const ExportRows rows = ExportRows::flat(RowsOf(typeRows));
    EXPECT_EQ(contents(out.filePath("t.htm")), BuildHtml(rows, columns, QStringLiteral("t")));
    EXPECT_EQ(contents(out.filePath("t.txt")), BuildDelimited(rows, columns, TextSeparator));
    EXPECT_EQ(contents(out.filePath("t.csv")), BuildDelimited(rows, columns, CsvSeparator));
    EXPECT_EQ(window->XMLDoc.CountElements(), typeRows.size());
    EXPECT_EQ(contents(out.filePath("t.xml")), window->XMLDoc.toXml());
    EXPECT_TRUE(contents(out.filePath("t.xlsx")).startsWith("PK\x03\x04")); // a zip package, as every .xlsx
}

TEST_F(ExportCommandsTest, CancelledChoiceKeepsTheGatheredCatalogAndSaysNothing)
{
    clickSlice(window->SizeChart, 1);
    const std::size_t count = static_cast<NodeListModel *>(window->VTSize->model())->rows().size();
    ASSERT_EQ(count, 2u);
    chosen.clear();
    for (const char *tip : {"Export to XML", "Export to Excel", "Export to HTML", "Export to CSV"}) {
        SCOPED_TRACE(tip);
        events.clear();
        press(window->VTSize, tip);
        EXPECT_TRUE(events.filter(QStringLiteral("message")).isEmpty()) << events.join(" | ").toStdString();
        EXPECT_TRUE(events.filter(QStringLiteral("Export to file")).isEmpty());
        EXPECT_EQ(window->XMLDoc.CountElements(), count);
    }
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(ExportCommandsTest, AnEmptyListGivesAnEmptyFileAndIsFinishedButNoScanGivesNothing)
{
    // The age drill-down before any slice click.
    const auto exportAll = [this](QAbstractItemView *grid, const QString &name) {
        for (const char *tip : {"Export to HTML", "Export to Text", "Export to CSV"}) {
            SCOPED_TRACE(tip);
            events.clear();
            chosen = out.filePath(name + QLatin1String(tip).mid(10));
            press(grid, tip);
            EXPECT_TRUE(QFileInfo::exists(chosen));
            EXPECT_EQ(QFileInfo(chosen).size(), 0);
            EXPECT_TRUE(finished()) << events.join(" | ").toStdString();
        }
    };
    ASSERT_TRUE(static_cast<NodeListModel *>(window->VTAge->model())->rows().empty());
    exportAll(window->VTAge, QStringLiteral("age."));

    // A window that has scanned nothing yet writes nothing and says why.
    window.reset();
    openWindow();
    watch();
    for (const char *tip :
        {"Export to HTML", "Export to XML", "Export to Text", "Export to CSV", "Export to Excel"}) {
        SCOPED_TRACE(tip);
        events.clear();
        chosen = out.filePath(QStringLiteral("tree.out"));
        press(window->VT, tip);
        EXPECT_FALSE(QFileInfo::exists(chosen));
        EXPECT_FALSE(finished());
        ASSERT_EQ(events.size(), 1) << events.join(" | ").toStdString();
        EXPECT_TRUE(events[0].contains(QStringLiteral("nothing to export"))) << events[0].toStdString();
    }
}

TEST_F(ExportCommandsTest, AFileThatCannotBeWrittenIsNamedAndTheOldOneStays)
{
    const char *const tips[] = {"Export to HTML", "Export to XML", "Export to Text", "Export to CSV"};
    // A folder that does not exist.
    for (const char *tip : tips) {
        SCOPED_TRACE(tip);
        events.clear();
        chosen = out.filePath(QStringLiteral("missing/list.out"));
        press(window->VTList, tip);
        ASSERT_FALSE(events.isEmpty());
        EXPECT_TRUE(events.last().startsWith(
            QStringLiteral("message %1 Export Failed").arg(int(QMessageBox::Warning))));
        EXPECT_TRUE(events.last().contains(chosen)) << events.last().toStdString();
        EXPECT_TRUE(events.last().contains(QStringLiteral("No such file or directory")))
            << events.last().toStdString();
        EXPECT_FALSE(finished());
        EXPECT_FALSE(window->WaitForm->isVisible());
    }

    // An earlier export in a folder no one may write, root included: a file system
    // mounted read-only once the old file is there.
    const QByteArray ro = QFile::encodeName(out.filePath(QStringLiteral("ro")));
    ASSERT_TRUE(QDir().mkpath(QString::fromUtf8(ro)));
    if (::mount("tmpfs", ro.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a file system here";
    chosen = QString::fromUtf8(ro) + QStringLiteral("/list.out");
    {
        QFile old(chosen);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old export");
    }
    if (::mount("tmpfs", ro.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") != 0) {
        ::umount(ro.constData());
        GTEST_SKIP() << "cannot mount a file system read-only here";
    }
    QStringList failures;
    QList<QByteArray> after;
    for (const char *tip : tips) {
        events.clear();
        press(window->VTList, tip);
        failures << QLatin1String(tip) + QStringLiteral(": ") + events.value(events.size() - 1);
        after << contents(chosen);
    }
    const QStringList left = QDir(QString::fromUtf8(ro)).entryList(QDir::Files | QDir::Hidden);
    ::umount(ro.constData());
    for (qsizetype i = 0; i < failures.size(); ++i) {
        EXPECT_TRUE(failures[i].contains(QStringLiteral("Export Failed"))) << failures[i].toStdString();
        EXPECT_TRUE(failures[i].contains(chosen)) << failures[i].toStdString();
        EXPECT_TRUE(failures[i].contains(QStringLiteral("Read-only file system")))
            << failures[i].toStdString();
        EXPECT_EQ(after[i], QByteArray("old export")) << failures[i].toStdString();
    }
    EXPECT_EQ(left, QStringList {QStringLiteral("list.out")});
}

} // namespace

namespace {

TEST_F(ExportCommandsTest, ClosingTheWindowGivesUpTheExportUnderWay)
{
    // The window closes (the session ends, the user quits) just as the writing starts.
    watcher->onShow = [this](const QString &text) {
        if (text == QLatin1String("Export to file.."))
            window->close();
    };
    for (const char *tip :
        {"Export to HTML", "Export to XML", "Export to Text", "Export to CSV", "Export to Excel"}) {
        SCOPED_TRACE(tip);
        window->show();
        events.clear();
        chosen = out.filePath(QStringLiteral("tree.out"));
        press(window->VT, tip);
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(events.contains(QStringLiteral("wait: Export to file..")))
            << events.join(" | ").toStdString();
        EXPECT_TRUE(events.filter(QStringLiteral("message")).isEmpty()) << events.join(" | ").toStdString();
        EXPECT_EQ(QDir(out.path())
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                      .join(u' ')
                      .toStdString(),
            "");
    }
}

TEST_F(ExportCommandsTest, WhatAReaderWillNotGetAsItWasIsSaidBeforeExportFinished)
{
    // A catalog nested deeper than libxml2's readers take.
    Fixture deep;
    deep.makeFolderChain("d", 255);
    openFolder(QString::fromUtf8(deep.path()));
    events.clear();
    chosen = out.filePath(QStringLiteral("deep.xml"));
    press(window->VT, "Export to XML");
    ASSERT_GE(events.size(), 2);
    EXPECT_TRUE(events[events.size() - 2].startsWith(
        QStringLiteral("message %1 Warning: the XML catalog nests entries 256 levels below its top")
            .arg(int(QMessageBox::Warning))))
        << events.join(" | ").toStdString();
    EXPECT_EQ(events.last(), QStringLiteral("message 0 Done: Export Finished"));
    EXPECT_TRUE(QFileInfo::exists(chosen));
}

} // namespace
