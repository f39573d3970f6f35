// The commands on chosen entries, offscreen: which rows they act on, what Copy Path
// puts on the clipboard, what Open and Open Containing Folder ask the desktop for,
// and the keys that move around the window.

#include "CatalogTreeModel.h"
#include "EntryActions.h"
#include "NodeListModel.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <memory>

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

    // Ctrl+1 to Ctrl+6 pick the tabs; Escape leaves a drill-down list.
    for (int tab = 5; tab >= 0; --tab) {
        QTest::keyClick(window.get(), Qt::Key(Qt::Key_1 + tab), Qt::ControlModifier);
        EXPECT_EQ(window->pcTotal->currentIndex(), tab);
    }
    QTest::keyClick(window.get(), Qt::Key_5, Qt::ControlModifier);
    window->pcSize->setCurrentIndex(1);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(window->pcSize->currentIndex(), 0);
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
    for (QTreeView *grid : {window->VT, window->VTList, window->VTAge, window->VTSize, window->VTType})
        EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ExtendedSelection);
}

} // namespace
