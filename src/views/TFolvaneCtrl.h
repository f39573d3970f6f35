#pragma once

#include "CatalogTree.h"
#include "ExportFormat.h"
#include "ListColumn.h"
#include "RangeStatistics.h"

#include <QObject>
#include <QRgb>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <map>
#include <memory>

class CatalogDocument;
class CatalogTreeModel;
class ChartPainter;
class ExportRows;
class NodeListModel;
class QAbstractButton;
class QChartView;
class QStackedWidget;
class QLabel;
class QModelIndex;
class FlatListView;
class QAbstractItemView;
class QTreeView;
class QWidget;
class TFileInfo;

// The one view controller of the main window: it binds the scan to the five
// tree-grids, keeps the current node, and answers the grids' header clicks, right
// clicks and double clicks. It owns none of the widgets it drives.
class TFolvaneCtrl : public QObject
{
    Q_OBJECT
public:
    // The controls of the main window the controller drives.
    struct Controls
    {
        QWidget *MainForm = nullptr;
        QTreeView *VT = nullptr;
        FlatListView *VTList = nullptr;
        FlatListView *VTAge = nullptr;
        FlatListView *VTSize = nullptr;
        FlatListView *VTType = nullptr;
        QLabel *lbPath = nullptr;
        QAbstractButton *btnUp = nullptr;
        QChartView *ChartFile = nullptr;
        QChartView *AgeChart = nullptr;
        QChartView *SizeChart = nullptr;
        QChartView *TypeChart = nullptr;
        // The chart switches ShowNode reads: the bar buttons and the text buttons.
        QAbstractButton *tbBarFile = nullptr;
        QAbstractButton *tbBar = nullptr;
        QAbstractButton *tbBarSize = nullptr;
        QAbstractButton *tbBarType = nullptr;
        QAbstractButton *sbCreate = nullptr;
        QAbstractButton *sbAccess = nullptr;
        QAbstractButton *sbTop = nullptr;
        // The type chart's "By Size": bytes per extension instead of files (optional).
        QAbstractButton *tbTypeBySize = nullptr;
        QStackedWidget *pcAge = nullptr;
        QStackedWidget *pcSize = nullptr;
        QStackedWidget *pcType = nullptr;
        // The catalog the XML and workbook exports build; the last one built stays.
        CatalogDocument *XMLDoc = nullptr;
        // The wait dialog of the exports: shown without Cancel with `text` as its
        // status line, or taken down. The text must be on the screen when it returns:
        // an export runs on this thread and paints nothing until it is done.
        std::function<void(bool show, const QString &text)> ShowWait;

        // The tree and the four lists, the tree first.
        std::array<QAbstractItemView *, 5> grids() const;
    };

    // Create: wires the grids' events; the grids must already have their models
    // (a CatalogTreeModel on VT, NodeListModels on the four lists).
    explicit TFolvaneCtrl(const Controls &controls, QObject *parent = nullptr);

    // Columns of one grid from the column catalogue: header, width, colour,
    // alignment, display position, visibility; size bars on its percentage columns.
    void LoadColumns(QAbstractItemView *grid);
    // Turns the size bars of every list on or off, and keeps the choice in the
    // configuration (saved with the column layout). On unless the configuration says off.
    void ShowSizeBars(bool shown);
    bool SizeBars() const { return m_sizeBars; }

    // Shows a new scan in VT, sorted by the last chosen field, and makes its top
    // node current.
    void ShowScan(std::shared_ptr<CatalogTree> tree);
    // Classifies the files again as of now, sorts VT by its header's sort column and
    // direction (by SortField), keeps the scan, and shows its top node again (what a
    // cancelled folder choice and a drop of no folder do).
    void ResortAndShowTop();

    void ShowNode(NodeIndex node);
    // Makes `child`, a child of the current node, current (as a double click on it or
    // on its slice of the path chart does); anything else is ignored.
    void OpenChild(NodeIndex child);
    void OpenExplorer(QAbstractItemView *grid);
    void ShowColumnConfig();
    // Stores VT's widths, positions and visibility in the catalogue and saves it.
    // Throws ConfigError when the file cannot be written.
    void SaveColumnLayout();
    void GoUp();

    // The export of one list (VT or one of the four lists) as `format`, to a file the
    // user chooses, with the columns visible in the configuration at that moment;
    // "Export Finished" once written. VT exports every node of the scan in its
    // present order, expanded or not.
    void ExportList(QAbstractItemView *list, ExportFormat format);
    // Ends the export under way without a file, if one runs (the window closing while
    // ExportList waits for its writer).
    void StopExport();

    // The four charts, drawn from the current node's list and statistics.
    void DrawPathChart(bool asBar);
    void DrawAgeChart(bool asBar, int timeKind);
    void DrawSizeChart(bool asBar);
    void DrawTypeChart(bool asBar, bool showAll);
    // The age chart's time kind, the type chart's range and measure, as the buttons say.
    int TimeKind() const;
    bool ShowAll() const;
    bool TypesBySize() const;

    const Ranges &ranges() const { return m_ranges; }
    const Statistics &statistics() const { return m_statistics; }

    NodeIndex CurrentNode() const { return m_currentNode; }
    // The scan the window shows (null before the first).
    const std::shared_ptr<const CatalogTree> &Scan() const { return m_shown; }
    // The entries of the rows selected in `grid` (any of the five), in the grid's
    // order; empty when no row is selected.
    std::vector<NodeIndex> ChosenEntries(QAbstractItemView *grid) const;
    // Makes `node` the current node as a click on it in the Total Tree would: its
    // folders above are expanded and it is selected there.
    void ShowEntry(NodeIndex node);
    // Selects `node` in the Total Tree (its folders above expanded) and in every list
    // that has a row of it, and clears the selection of the lists that have none; the
    // current node stays (a click on it in the treemap).
    void SelectEntry(NodeIndex node);
    // The colour of each position of statistics().types as the Type of Files chart
    // shows it with every extension: the rarest types share the last colour.
    std::vector<QRgb> TypeColours() const;
    // The scan loses `nodes` and all below them (removed from the disk): every figure,
    // list, chart and statistic follows; the current folder, the expanded folders and
    // the selection stay on the entries that remain (the nearest remaining folder
    // above a removed current one becomes current).
    void RemoveFromScan(const std::vector<NodeIndex> &nodes);
    // What the scan knows of `folder` is replaced by `fresh`, a finished new scan
    // of its path; everything follows as for RemoveFromScan.
    void ReplaceInScan(NodeIndex folder, const CatalogTree &fresh);

    // Enter on `grid`: its focused row's folder becomes the current node; a file is
    // opened in its default application.
    void OpenFocused(QAbstractItemView *grid);
    // Hands `path` to the desktop (openFolder); says in the status bar when nothing
    // could be started, naming the file manager when `inFileManager`.
    void OpenPath(const QByteArray &path, bool inFileManager);
    const QString &CurrentPath() const { return m_currentPath; }
    const QString &RootPath() const { return m_rootPath; }
    void setRootPath(const QString &path) { m_rootPath = path; }
    int SortField() const { return m_sortField; }

    // How an entry, given by its exact path bytes, is opened: a folder in the
    // desktop's file manager, a file in its default application (replaceable in
    // tests); false when nothing could be started.
    std::function<bool(const QByteArray &path)> openFolder;
    // Range items of the configuration that could not be read and were left out.
    const QStringList &loadProblems() const { return m_loadProblems; }

signals:
    void currentNodeChanged(NodeIndex node);
    // The scan is about to be edited in place (RemoveFromScan, ReplaceInScan): what
    // reads it on another thread must stop first. currentNodeChanged follows the edit.
    void scanAboutToChange();
    // A one-line report for the status bar.
    void statusMessage(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void HeaderClick(QAbstractItemView *grid, int section);
    void TreeChange(const QModelIndex &current);
    void PathListDblClick(const QModelIndex &index);
    void FillPathList();
    void FillSliceList(QAbstractItemView *list, SliceKind kind, const QString &key);
    void showsTreeOrder(QAbstractItemView *list);
    void showTop();
    // Runs `edit` (which changes `parts`: removes them, or with `replaced` puts a new
    // scan in place of the one folder) and makes every view follow.
    void editScan(const std::vector<NodeIndex> &parts, bool replaced,
        const std::function<std::vector<NodeIndex>(CatalogTree &tree)> &edit);
    // The files of `parts`, counted as they are before an edit takes them away.
    Statistics leavingStatistics(const std::vector<NodeIndex> &parts) const;
    void SeriesClick(ChartPainter *painter, int point, const QString &label);
    void drawCharts();
    void sortGrid(QAbstractItemView *grid, Qt::SortOrder order);
    ExportRows exportRows(QAbstractItemView *list) const;
    CatalogTreeModel *treeModel() const;
    NodeListModel *listModel(QAbstractItemView *grid) const;

    Controls m_c;
    int m_sortField = 0; // FileName until the first header click
    bool m_sizeBars = true;
    QString m_currentPath;
    QString m_rootPath;
    NodeIndex m_currentNode = NoNode;
    std::shared_ptr<const CatalogTree> m_shown; // the scan m_currentNode belongs to
    std::shared_ptr<CatalogTree> m_scan; // the scan VT shows, which only this controller changes
    Ranges m_ranges;
    QStringList m_loadProblems;
    Statistics m_statistics;
    // What each drill-down list was filled with, to fill it again after an edit: at
    // once when the list is on view, otherwise (stale, its rows dropped) when it is
    // next shown, so an edit does not pay for lists of millions of rows nobody sees.
    struct Slice
    {
        SliceKind kind;
        QString key;
        NodeIndex node = NoNode; // the folder whose files it lists
        bool stale = false;
    };
    void refillSlice(QAbstractItemView *list, Slice &slice);
    std::map<QAbstractItemView *, Slice> m_slices;
    ChartPainter *m_pathChart = nullptr;
    std::vector<NodeIndex> m_pathChartNodes; // the entry of each point of the path chart but "others"
    ChartPainter *m_ageChart = nullptr;
    ChartPainter *m_sizeChart = nullptr;
    ChartPainter *m_typeChart = nullptr;
    TFileInfo *m_export = nullptr; // the export under way
};
