#pragma once

#include "CatalogTree.h"

#include <QObject>

#include <vector>

class QAction;
class QMenu;
class QMimeData;
class QPoint;
class QAbstractItemView;
class TFolvaneCtrl;

// What the user can do with the entries chosen in a list: open them, open the folder
// that holds them, copy their paths, move them to the trash, delete them, rescan
// them. One set of actions serves the rows' context menu, the Edit and File menus
// and their keys; each acts on the rows selected in the grid it is given.
class EntryActions : public QObject
{
    Q_OBJECT
public:
    EntryActions(TFolvaneCtrl *ctrl, QObject *parent = nullptr);

    // The grid the menus' commands act on: the last of the five that had the focus.
    void setActiveGrid(QAbstractItemView *grid) { m_activeGrid = grid; }
    QAbstractItemView *activeGrid() const { return m_activeGrid; }

    // Gives `grid` its context menu: a right click on a row that is not selected
    // selects it alone first; a click on no row acts on the current folder. The Menu
    // key and Shift+F10 open it at the focused row.
    void attach(QAbstractItemView *grid);

    // The entries a command acts on: the selected rows of `grid` or, when none is
    // selected, the current folder.
    std::vector<NodeIndex> targets(QAbstractItemView *grid) const;

    // Opens the first target: a file in its default application, a folder in the
    // file manager.
    void open(QAbstractItemView *grid);
    // Opens the folder that holds the first target, in the file manager.
    void openContainingFolder(QAbstractItemView *grid);
    // Puts the targets' paths on the clipboard: text, one path a line, and a
    // text/uri-list that keeps their exact bytes for a file manager.
    void copyPaths(QAbstractItemView *grid);
    // The clipboard data copyPaths puts there (ownership passes to the caller).
    QMimeData *pathData(const std::vector<NodeIndex> &nodes) const;

    QAction *actOpen = nullptr;
    QAction *actOpenContaining = nullptr;
    QAction *actCopyPath = nullptr;
    QAction *actTrash = nullptr;
    QAction *actDelete = nullptr;
    QAction *actRefresh = nullptr;
    QAction *actRefreshAll = nullptr;

signals:
    // The removal and rescan commands, for the window to run with its dialogs.
    void trashRequested(QAbstractItemView *grid);
    void deleteRequested(QAbstractItemView *grid);
    void refreshRequested(QAbstractItemView *grid);
    void refreshAllRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The menu for the row at `pos` (viewport coordinates), chosen first when it is not.
    void showMenu(QAbstractItemView *grid, const QPoint &pos);
    void popUp(QAbstractItemView *grid, const QPoint &pos);

    TFolvaneCtrl *m_ctrl;
    QAbstractItemView *m_activeGrid = nullptr;
};
