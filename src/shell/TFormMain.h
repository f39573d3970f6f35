#pragma once

#include "CatalogDocument.h"
#include "CommandIcons.h"
#include "ExportFormat.h"
#include "FileIcons.h"
#include "RemovalJob.h"
#include "ScanJob.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class CatalogTreeModel;
class NodeListModel;
class QChartView;
class QAction;
class QLabel;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QToolButton;
class FlatListView;
class QAbstractItemView;
class QTreeView;
class TFolvaneCtrl;
class TreemapPage;
class EntryActions;
class ScanFileCommands;
class TWaitForm;

// The main window: a top bar with Open Folder, Up and the current path, seven tabs
// (the Total Tree, the current folder as a list and as a chart, the age, size and
// type breakdowns, the treemap) and a status bar that reports each scan. Scans run on a thread
// of their own while the wait dialog shows their progress and can cancel them.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    // Starts a scan of `folder`, given by its exact bytes (as Open Folder and a drop
    // do). A path that is no folder, or a scan already running, is said in the status
    // bar instead; false then.
    bool ScanPath(const QByteArray &folder);
    bool isScanning() const { return m_scan.isRunning(); }
    ScanJob &scanJob() { return m_scan; }

    // How a problem is shown to the user: a message box, replaceable in tests.
    std::function<void(const QString &problem)> showProblem;
    // How the user confirms a removal: a Yes/No question, No by default; replaceable
    // in tests.
    std::function<bool(const QString &question)> confirmRemoval;

    // Move to Trash (or, `permanently`, Delete Permanently) of the rows chosen in
    // `grid`, after the user's confirmation, on a thread of its own; the window's
    // figures follow as soon as it ends (scanShown). False when nothing was started.
    bool RemoveChosen(QAbstractItemView *grid, bool permanently);
    // Rescans the folder chosen in `grid` (a file's folder; the current folder when
    // no row is chosen; with `whole`, the whole scan) on the scan thread, and puts it
    // in place of what the scan had.
    void Refresh(QAbstractItemView *grid, bool whole);

signals:
    // A scan has been shown (or a cancelled folder choice re-sorted the last one, or
    // a refresh or a removal has ended).
    void scanShown();

public:
    // The controls, named as the rest of the program knows them.
    QToolButton *btnOpen = nullptr;
    QToolButton *btnUp = nullptr;
    QLabel *lbPath = nullptr;
    QTabWidget *pcTotal = nullptr;
    QStackedWidget *pcAge = nullptr;
    QStackedWidget *pcSize = nullptr;
    QStackedWidget *pcType = nullptr;
    QTreeView *VT = nullptr;
    FlatListView *VTList = nullptr;
    FlatListView *VTAge = nullptr;
    FlatListView *VTSize = nullptr;
    FlatListView *VTType = nullptr;
    // The tree and the four lists, the tree first.
    std::array<QAbstractItemView *, 5> grids() const;
    QChartView *ChartFile = nullptr;
    QChartView *AgeChart = nullptr;
    QChartView *SizeChart = nullptr;
    QChartView *TypeChart = nullptr;
    TreemapPage *Treemap = nullptr;
    QToolButton *tbPieFile = nullptr;
    QToolButton *tbBarFile = nullptr;
    QToolButton *tbPie = nullptr;
    QToolButton *tbBar = nullptr;
    QToolButton *tbPieSize = nullptr;
    QToolButton *tbBarSize = nullptr;
    QToolButton *tbPieType = nullptr;
    QToolButton *tbBarType = nullptr;
    QToolButton *sbCreate = nullptr;
    QToolButton *sbAccess = nullptr;
    QToolButton *sbWrite = nullptr;
    QToolButton *sbTop = nullptr;
    QToolButton *sbAll = nullptr;
    // The type chart's switch: bytes per extension instead of the number of files.
    QToolButton *tbTypeBySize = nullptr;
    QLabel *SB = nullptr;
    // The Scan menu's choices for the next scans (off at start).
    QAction *actOneFileSystem = nullptr;
    QAction *actCountLinksOnce = nullptr;
    // Bars of the share behind every list's percentages (on unless the configuration says off).
    QAction *actSizeBars = nullptr;
    TWaitForm *WaitForm = nullptr;
    TFolvaneCtrl *Ctrl = nullptr;
    // The commands on chosen entries: context menu, File and Edit menus, their keys.
    EntryActions *Actions = nullptr;
    // Save Scan, Open Scan and Compare With of the File menu.
    ScanFileCommands *ScanFiles = nullptr;
    // The catalog of the last XML or Excel export, kept until the next one.
    CatalogDocument XMLDoc;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormShow();
    void buildEntryCommands();
    void btnOpenClick();
    void btnUpClick();
    void m1Click();
    void m2Click();
    void scanFinished(const ScanResult &result, double seconds);
    void refreshFinished(const ScanResult &result, double seconds);
    void removalFinished(const RemovalJobResult &result, bool permanently);
    // What keeps the window from starting other work ("A scan is running"); empty
    // when nothing does.
    QString busyText() const;
    ScanOptions scanOptions() const;
    void report(const QString &problem);
    void showExportWait(bool show, const QString &text);
    // The export command of a list tool bar's button.
    void exportList(ExportFormat format, QAbstractItemView *grid);

    QWidget *buildTopBar();
    QWidget *listPage(QAbstractItemView *grid, QStackedWidget *returnTo);
    // A chart page: its tool bar (pie and bar, "Save to file", the text buttons, a
    // switch) over the chart; with a stack, page 0 of it, the drill-down list being page 1.
    QWidget *chartPage(QChartView *&view, QToolButton *&pie, QToolButton *&bar,
        const QList<QToolButton *> &textButtons, QStackedWidget *stack, QAbstractItemView *drillDown,
        QToolButton *toggle = nullptr);
    static QToolButton *textButton(const QString &text);
    void redraw(QChartView *view);
    QToolBar *listToolBar(QAbstractItemView *grid, QStackedWidget *returnTo);
    static QTreeView *makeTree();
    static FlatListView *makeList();

    FileIcons m_icons;
    CatalogTreeModel *m_treeModel = nullptr;
    ScanJob m_scan;
    RemovalJob m_removal;
    bool m_shown = false;
    // The folder a running refresh reads again (NoNode: the running scan is a new one).
    NodeIndex m_refreshing = NoNode;
};
