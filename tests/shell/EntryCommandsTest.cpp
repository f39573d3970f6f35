// The commands on chosen entries, offscreen: which rows they act on, what Copy Path
// puts on the clipboard, what Open and Open Containing Folder ask the desktop for,
// and the keys that move around the window.

#include "CatalogFields.h"
#include "CatalogTreeModel.h"
#include "ChartPainter.h"
#include "EntryActions.h"
#include "FlatListView.h"
#include "FolderScanner.h"
#include "NodeListModel.h"
#include "RangeStatistics.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"
#include "TreeComparison.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <map>

#include <QApplication>
#include <QChartView>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class EntryCommandsTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // a/ {x 3}, b\xff/ {}, c.txt 20
        fx.makeFolder("a");
        fx.makeFile("a/x", 3);
        fx.makeFolder("b\xff");
        fx.makeFile("c.txt", 20);
        openWindow();
        openFolder(QString::fromUtf8(fx.path()));
        window->Ctrl->openFolder = [this](const QByteArray &path) {
            opened << path;
            return true;
        };
    }

    NodeListModel *list() const { return static_cast<NodeListModel *>(window->VTList->model()); }
    const CatalogTree &tree() const { return *window->Ctrl->Scan(); }

    int rowOf(const QByteArray &name) const
    {
        for (int r = 0; r < list()->rowCount(); ++r) {
            if (tree().nameBytes(list()->record(r).index()) == name)
                return r;
        }
        return -1;
    }

    void select(std::initializer_list<const char *> names)
    {
        window->VTList->clearSelection();
        for (const char *name : names) {
            const QModelIndex index = list()->index(rowOf(name), 0);
            window->VTList->selectionModel()->select(
                index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            window->VTList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }

    QList<QByteArray> opened;
};

TEST_F(EntryCommandsTest, CopyPathPutsEveryChosenPathTextAndExactBytes)
{
    EntryActions *actions = window->Actions;
    ASSERT_NE(actions, nullptr);
    const struct
    {
        std::initializer_list<const char *> rows;
        QString text;
        QByteArray uris;
    } cases[] = {
        {{}, QString::fromUtf8(fx.path()), "file://" + fx.path().toPercentEncoding("/") + "\r\n"},
        {{"c.txt"}, QString::fromUtf8(fx.at("c.txt")),
            "file://" + fx.at("c.txt").toPercentEncoding("/") + "\r\n"},
        {{"a", "b\xff"}, QString::fromUtf8(fx.at("a")) + "\n" + QString::fromUtf8(fx.at("b\xff")),
            "file://" + fx.at("a").toPercentEncoding("/") + "\r\nfile://"
                + fx.at("b\xff").toPercentEncoding("/") + "\r\n"},
    };
    for (const auto &c : cases) {
        select(c.rows);
        std::vector<NodeIndex> nodes = actions->targets(window->VTList);
        std::unique_ptr<QMimeData> data(actions->pathData(nodes));
        EXPECT_EQ(data->text(), c.text);
        EXPECT_EQ(data->data(QStringLiteral("text/uri-list")), c.uris);
        // The file manager reads the bytes back from the list.
        for (const QUrl &url : data->urls())
            EXPECT_TRUE(url.isLocalFile());
    }
    // The command itself puts the same on the clipboard.
    select({"b\xff"});
    window->VTList->setFocus();
    actions->setActiveGrid(window->VTList);
    actions->actCopyPath->trigger();
    const QMimeData *copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->data(QStringLiteral("text/uri-list")),
        "file://" + fx.at("b\xff").toPercentEncoding("/") + "\r\n");
}

TEST_F(EntryCommandsTest, OpenAndOpenContainingFolderAskForTheExactPaths)
{
    EntryActions *actions = window->Actions;
    actions->setActiveGrid(window->VTList);
    select({"c.txt"});
    actions->actOpen->trigger();
    actions->actOpenContaining->trigger();
    select({"b\xff"});
    actions->actOpen->trigger();
    select({});
    actions->actOpenContaining->trigger(); // nothing chosen: the folder above the current one
    EXPECT_EQ(opened,
        (QList<QByteArray> {
            fx.at("c.txt"), fx.path(), fx.at("b\xff"), fx.path().left(fx.path().lastIndexOf('/'))}));

    window->Ctrl->openFolder = [](const QByteArray &) { return false; };
    actions->actOpen->trigger();
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("Nothing could be started to open")))
        << window->SB->text().toStdString();
}

TEST_F(EntryCommandsTest, KeysMoveAroundTheWindow)
{
    window->activateWindow();
    // Enter on a folder makes it current; Backspace and Alt+Up go up again.
    window->VTList->setFocus();
    window->VTList->setCurrentIndex(list()->index(rowOf("a"), 0));
    QTest::keyClick(window->VTList, Qt::Key_Return);
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(fx.at("a")));
    // Enter on a file opens it.
    window->VTList->setCurrentIndex(list()->index(0, 0));
    QTest::keyClick(window->VTList, Qt::Key_Return);
    EXPECT_EQ(opened, QList<QByteArray> {fx.at("a/x")});
    QTest::keyClick(window->VTList, Qt::Key_Backspace);
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(fx.path()));
    window->Ctrl->ShowEntry(window->Ctrl->Scan()->node(0).firstChild);
    QTest::keyClick(window->VTList, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(window->lbPath->text(), QString::fromUtf8(fx.path()));

    // Ctrl+1 to Ctrl+7 pick the tabs; Escape leaves a drill-down list.
    for (int tab = 6; tab >= 0; --tab) {
        QTest::keyClick(window.get(), Qt::Key(Qt::Key_1 + tab), Qt::ControlModifier);
        EXPECT_EQ(window->pcTotal->currentIndex(), tab);
    }
    QTest::keyClick(window.get(), Qt::Key_5, Qt::ControlModifier);
    window->pcSize->setCurrentIndex(1);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(window->pcSize->currentIndex(), 0);

    // The Menu key and Shift+F10 open the rows' menu for the focused row, chosen.
    QTest::keyClick(window.get(), Qt::Key_2, Qt::ControlModifier);
    for (const QKeyCombination keys : {QKeyCombination(Qt::Key_Menu), Qt::ShiftModifier | Qt::Key_F10}) {
        window->VTList->clearSelection();
        window->VTList->setCurrentIndex(list()->index(rowOf("c.txt"), 0));
        window->VTList->selectionModel()->clearSelection();
        QStringList shown;
        QTimer::singleShot(0, [&] {
            if (QWidget *menu = QApplication::activePopupWidget()) {
                for (QAction *action : menu->actions())
                    shown << action->text();
                menu->close();
            }
        });
        QTest::keyClick(window->VTList, keys.key(), keys.keyboardModifiers());
        EXPECT_TRUE(shown.contains(window->Actions->actTrash->text())) << shown.join(u',').toStdString();
        EXPECT_EQ(window->Ctrl->ChosenEntries(window->VTList).size(), 1u);
    }
}

TEST_F(EntryCommandsTest, MenusHoldTheCommandsAndEveryToolButtonIsNamed)
{
    QStringList menus;
    for (QAction *menu : window->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList {"&File", "&Edit", "Scan", "About", "Help"}));
    const struct
    {
        QAction *action;
        QKeySequence keys;
    } keys[] = {
        {window->Actions->actCopyPath, QKeySequence::Copy},
        {window->Actions->actTrash, QKeySequence(Qt::Key_Delete)},
        {window->Actions->actDelete, QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {window->Actions->actRefresh, QKeySequence(Qt::Key_F5)},
        {window->Actions->actRefreshAll, QKeySequence(Qt::CTRL | Qt::Key_F5)},
    };
    for (const auto &k : keys)
        EXPECT_EQ(k.action->shortcut(), k.keys) << k.action->text().toStdString();
    for (QToolButton *button : window->findChildren<QToolButton *>()) {
        EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
        EXPECT_FALSE(button->accessibleName().isEmpty()) << button->toolTip().toStdString();
    }
    // Several rows can be chosen in every list.
    for (QAbstractItemView *grid : window->grids())
        EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ExtendedSelection);
}

// The window after a removal or a refresh shows what a new scan of the folder would.
class EntryRemovalTest : public EntryCommandsTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(trash.isValid());
        oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(trash.path()));
        EntryCommandsTest::SetUp();
        window->confirmRemoval = [this](const QString &question) {
            questions << question;
            return answer;
        };
    }
    void TearDown() override
    {
        EntryCommandsTest::TearDown();
        qputenv("XDG_DATA_HOME", oldData);
    }

    // Nothing differs between the window's tree and a new scan of the folder.
    void expectAsScannedAnew()
    {
        const ScanResult fresh = ScanFolder(fx.path(), ScanOptions {});
        ASSERT_TRUE(fresh.tree);
        const std::vector<std::string> differences = TreeDifferences(*window->Ctrl->Scan(), *fresh.tree);
        EXPECT_TRUE(differences.empty()) << JoinLines(differences);
        // The breakdowns count what a new count of the current folder would.
        const Statistics &shown = window->Ctrl->statistics();
        const Statistics counted = CountStatistics(tree(), window->Ctrl->CurrentNode());
        EXPECT_EQ(shown.size, counted.size);
        EXPECT_EQ(shown.writeAge, counted.writeAge);
        const auto typeCounts = [](const std::vector<std::pair<QString, std::uint64_t>> &types) {
            std::map<QString, std::uint64_t> counts;
            for (const auto &[label, count] : types)
                counts[label.toCaseFolded()] += count;
            return counts;
        };
        EXPECT_EQ(typeCounts(shown.types), typeCounts(counted.types));
        EXPECT_EQ(typeCounts(shown.typeBytes), typeCounts(counted.typeBytes));
        // The lists show the tree as it is.
        for (int r = 0; r < list()->rowCount(); ++r)
            EXPECT_FALSE(tree().isRetired(list()->record(r).index()));
    }

    // RemoveChosen, waiting for the removal it started (if any) to end: whether one was.
    bool removeChosen(QAbstractItemView *grid, bool permanently)
    {
        QSignalSpy shown(window.get(), &TFormMain::scanShown);
        if (!window->RemoveChosen(grid, permanently))
            return false;
        EXPECT_TRUE(shown.wait(20000));
        return true;
    }

    QStringList listNames() const
    {
        QStringList names;
        for (int r = 0; r < list()->rowCount(); ++r)
            names << list()->record(r).text(FileName);
        names.sort();
        return names;
    }

    QTemporaryDir trash;
    QByteArray oldData;
    QStringList questions;
    bool answer = true;
};

TEST_F(EntryRemovalTest, TrashAndDeleteTouchWhatWasConfirmedAndTheFiguresFollow)
{
    // Refused: nothing changes on disk or in the window.
    answer = false;
    select({"a", "c.txt"});
    EXPECT_FALSE(removeChosen(window->VTList, false));
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(QStringLiteral("Move these 2 entries (23.00 B) to the trash?")))
        << questions[0].toStdString();
    EXPECT_TRUE(QFileInfo::exists(QString::fromUtf8(fx.at("a/x"))));
    EXPECT_EQ(listNames(), (QStringList {"a", "b\uFFFD", "c.txt"}));

    answer = true;
    EXPECT_TRUE(removeChosen(window->VTList, false));
    EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(fx.at("a"))));
    EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(fx.at("c.txt"))));
    EXPECT_TRUE(QFileInfo::exists(trash.filePath(QStringLiteral("Trash/files/a/x"))));
    EXPECT_TRUE(QFileInfo::exists(trash.filePath(QStringLiteral("Trash/info/c.txt.trashinfo"))));
    EXPECT_EQ(listNames(), QStringList {"b\uFFFD"});
    EXPECT_TRUE(window->SB->text().startsWith(
        QStringLiteral("Moved 2 of 2 entries to the trash; 1 entries (0 files, 1 folders), 0.00 B")))
        << window->SB->text().toStdString();
    EXPECT_TRUE(window->Ctrl->statistics().types.empty());
    expectAsScannedAnew();

    // Deleted from the Total Tree, a folder whose name is not UTF-8; the scanned
    // folder itself is refused without a question.
    const QModelIndex top = static_cast<CatalogTreeModel *>(window->VT->model())->index(0, 0);
    window->VT->selectionModel()->select(
        top, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_FALSE(removeChosen(window->VT, true));
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("The scanned folder itself cannot be removed")));
    select({"b\xff"});
    EXPECT_TRUE(removeChosen(window->VTList, true));
    ASSERT_EQ(questions.size(), 3);
    EXPECT_TRUE(questions[2].endsWith(QStringLiteral("They cannot be recovered.")))
        << questions[2].toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(fx.path()) + QStringLiteral("/b\uFFFD")));
    EXPECT_EQ(::access(fx.at("b\xff").constData(), F_OK), -1);
    EXPECT_TRUE(listNames().isEmpty());
    expectAsScannedAnew();
}

TEST_F(EntryRemovalTest, RefreshReadsAFolderAgainInPlace)
{
    // Behind the window's back: a/ grows a file, c.txt goes.
    fx.makeFile("a/new", 1000);
    ASSERT_EQ(::unlink(fx.at("c.txt").constData()), 0);
    // The drill-down list of the smallest files, open but not on view.
    const auto sizeRows = [&] {
        QStringList names;
        for (const TCatalogNode &row : static_cast<NodeListModel *>(window->VTSize->model())->rows().records())
            names << row.text(FileName);
        names.sort();
        return names;
    };
    for (ChartPainter *painter : window->Ctrl->findChildren<ChartPainter *>()) {
        if (painter->chart() == window->SizeChart->chart())
            emit painter->pointClicked(0, QString());
    }
    ASSERT_EQ(sizeRows(), (QStringList {"c.txt", "x"}));
    window->pcTotal->setCurrentIndex(1);

    QSignalSpy shown(window.get(), &TFormMain::scanShown);
    select({"a"});
    window->Refresh(window->VTList, false);
    ASSERT_TRUE(shown.wait(20000));
    EXPECT_TRUE(window->SB->text().startsWith(QStringLiteral("Refreshed")))
        << window->SB->text().toStdString();
    // A list out of view keeps no rows of the old tree and is filled when shown.
    EXPECT_TRUE(sizeRows().isEmpty());
    window->pcTotal->setCurrentIndex(4);
    EXPECT_EQ(sizeRows(), (QStringList {"c.txt", "new", "x"}));
    // c.txt is still listed until the whole scan is read again.
    EXPECT_EQ(tree().node(tree().top()).size, 1000u + 3u + 20u);
    window->Refresh(nullptr, true);
    ASSERT_TRUE(shown.wait(20000));
    expectAsScannedAnew();
}

} // namespace
