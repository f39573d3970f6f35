#include "EntryActions.h"

#include "TFolvaneCtrl.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace {

QAction *makeAction(QObject *parent, const char *icon, const QString &text, const QKeySequence &keys = {})
{
    auto *action = new QAction(QIcon::fromTheme(QString::fromLatin1(icon)), text, parent);
    action->setShortcut(keys);
    // The window's menus hold the keys; a key pressed in a dialog never reaches them.
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

// The folder that holds `path`: everything before its last separator ("/" for an
// entry of the root).
QByteArray containingFolder(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

EntryActions::EntryActions(TFolvaneCtrl *ctrl, QObject *parent) : QObject(parent), m_ctrl(ctrl)
{
    actOpen = makeAction(this, "document-open", QStringLiteral("&Open"));
    actOpenContaining = makeAction(this, "folder-open", QStringLiteral("Open &Containing Folder"));
    actCopyPath = makeAction(this, "edit-copy", QStringLiteral("&Copy Path"), QKeySequence::Copy);
    actTrash = makeAction(this, "user-trash", QStringLiteral("Move to &Trash"), QKeySequence(Qt::Key_Delete));
    actDelete = makeAction(
        this, "edit-delete", QStringLiteral("&Delete Permanently"), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    actRefresh = makeAction(this, "view-refresh", QStringLiteral("&Refresh"), QKeySequence(Qt::Key_F5));
    actRefreshAll =
        makeAction(this, "view-refresh", QStringLiteral("Refresh &All"), QKeySequence(Qt::CTRL | Qt::Key_F5));
    const auto grid = [this] { return m_activeGrid; };
    connect(actOpen, &QAction::triggered, this, [this, grid] { open(grid()); });
    connect(actOpenContaining, &QAction::triggered, this, [this, grid] { openContainingFolder(grid()); });
    connect(actCopyPath, &QAction::triggered, this, [this, grid] { copyPaths(grid()); });
    connect(actTrash, &QAction::triggered, this, [this, grid] { emit trashRequested(grid()); });
    connect(actDelete, &QAction::triggered, this, [this, grid] { emit deleteRequested(grid()); });
    connect(actRefresh, &QAction::triggered, this, [this, grid] { emit refreshRequested(grid()); });
    connect(actRefreshAll, &QAction::triggered, this, [this] { emit refreshAllRequested(); });
}

void EntryActions::attach(QAbstractItemView *grid)
{
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this,
        [this, grid](const QPoint &pos) { showMenu(grid, pos); });
    grid->installEventFilter(this);
}

bool EntryActions::eventFilter(QObject *watched, QEvent *event)
{
    auto *grid = qobject_cast<QAbstractItemView *>(watched);
    if (!grid || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool menuKey = key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier;
    const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10)
        return QObject::eventFilter(watched, event);
    // At the focused row, as a right click there would be; with no row focused, for
    // the current folder in the middle of the list.
    const QModelIndex focused = grid->currentIndex();
    const QRect row = focused.isValid() ? grid->visualRect(focused) : QRect();
    if (row.isValid())
        showMenu(grid, row.center());
    else
        popUp(grid, grid->viewport()->rect().center());
    return true;
}

void EntryActions::showMenu(QAbstractItemView *grid, const QPoint &pos)
{
    const QModelIndex at = grid->indexAt(pos);
    if (at.isValid() && !grid->selectionModel()->isRowSelected(at.row(), at.parent()))
        grid->selectionModel()->setCurrentIndex(
            at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    popUp(grid, pos);
}

void EntryActions::popUp(QAbstractItemView *grid, const QPoint &pos)
{
    m_activeGrid = grid;
    QMenu menu(grid);
    menu.addAction(actOpen);
    menu.addAction(actOpenContaining);
    menu.addAction(actCopyPath);
    menu.addSeparator();
    menu.addAction(actTrash);
    menu.addAction(actDelete);
    menu.addSeparator();
    menu.addAction(actRefresh);
    menu.exec(grid->viewport()->mapToGlobal(pos));
}

std::vector<NodeIndex> EntryActions::targets(QAbstractItemView *grid) const
{
    std::vector<NodeIndex> nodes;
    if (grid)
        nodes = m_ctrl->ChosenEntries(grid);
    if (nodes.empty() && m_ctrl->Scan() && m_ctrl->CurrentNode() != NoNode)
        nodes.push_back(m_ctrl->CurrentNode());
    return nodes;
}

void EntryActions::open(QAbstractItemView *grid)
{
    const std::vector<NodeIndex> nodes = targets(grid);
    if (nodes.empty())
        return;
    const CatalogTree &tree = *m_ctrl->Scan();
    m_ctrl->OpenPath(tree.fullPathBytes(nodes.front()), false);
}

void EntryActions::openContainingFolder(QAbstractItemView *grid)
{
    const std::vector<NodeIndex> nodes = targets(grid);
    if (nodes.empty())
        return;
    m_ctrl->OpenPath(containingFolder(m_ctrl->Scan()->fullPathBytes(nodes.front())), true);
}

QMimeData *EntryActions::pathData(const std::vector<NodeIndex> &nodes) const
{
    auto *data = new QMimeData;
    if (!m_ctrl->Scan())
        return data;
    const CatalogTree &tree = *m_ctrl->Scan();
    QStringList lines;
    QByteArray uris;
    for (const NodeIndex node : nodes) {
        const QByteArray path = tree.fullPathBytes(node);
        lines << tree.fullPath(node);
        uris += "file://" + path.toPercentEncoding("/") + "\r\n";
    }
    data->setText(lines.join(QLatin1Char('\n')));
    data->setData(QStringLiteral("text/uri-list"), uris);
    return data;
}

void EntryActions::copyPaths(QAbstractItemView *grid)
{
    const std::vector<NodeIndex> nodes = targets(grid);
    if (nodes.empty())
        return;
    QApplication::clipboard()->setMimeData(pathData(nodes));
    emit m_ctrl->statusMessage(nodes.size() == 1
            ? QStringLiteral("Copied the path of %1").arg(m_ctrl->Scan()->fullPath(nodes.front()))
            : QStringLiteral("Copied %1 paths").arg(nodes.size()));
}
