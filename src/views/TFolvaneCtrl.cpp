#include "TFolvaneCtrl.h"

#include "CatalogFields.h"
#include "CatalogTreeModel.h"
#include "ChartPainter.h"
#include "ConfigError.h"
#include "ExportColumns.h"
#include "ExportFile.h"
#include "ExportRows.h"
#include "FlatListView.h"
#include "NodeListModel.h"
#include "NodeLists.h"
#include "SizeBarDelegate.h"
#include "TConfig.h"
#include "TFileInfo.h"
#include "TFormConfig.h"

#include <QAbstractButton>
#include <QChartView>
#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <numeric>
#include <unordered_set>
#include <utility>

namespace {

// Read-only columns are drawn on a light blue; the others on the tooltip colour.
const QColor ReadOnlyBackground(239, 243, 255);

Qt::Alignment alignmentOf(const QString &align)
{
    if (align == QLatin1String("right"))
        return Qt::AlignRight | Qt::AlignVCenter;
    if (align == QLatin1String("center"))
        return Qt::AlignHCenter | Qt::AlignVCenter;
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// Each grid's own sort column (-1 until its first header click) and direction.
const char *const SortColumnProperty = "folvaneSortColumn";
const char *const SortOrderProperty = "folvaneSortOrder";

// A chart of thousands of slices can be neither read nor drawn in time (Qt Charts
// takes seconds to replace them): beyond this many points the smallest share one,
// which stands for no single entry or extension and opens nothing.
constexpr std::size_t MaxChartPoints = 100;

} // namespace

std::array<QAbstractItemView *, 5> TFolvaneCtrl::Controls::grids() const
{
    return {VT, VTList, VTAge, VTSize, VTType};
}

TFolvaneCtrl::TFolvaneCtrl(const Controls &controls, QObject *parent) : QObject(parent), m_c(controls)
{
    openFolder = [](const QByteArray &folder) {
        // Percent-encoded from the bytes: a name that is not UTF-8 reaches the file
        // manager as it is on disk, not as the text the lists show for it.
        return QDesktopServices::openUrl(QUrl::fromEncoded("file://" + folder.toPercentEncoding("/")));
    };

    for (FlatListView *list : {m_c.VTAge, m_c.VTSize, m_c.VTType})
        list->installEventFilter(this);
    for (QAbstractItemView *grid : m_c.grids()) {
        grid->setProperty(SortColumnProperty, -1);
        grid->setProperty(SortOrderProperty, int(Qt::AscendingOrder));
        QHeaderView *header = columnHeader(grid);
        header->setSectionsClickable(true);
        header->setSortIndicatorShown(false);
        connect(header, &QHeaderView::sectionClicked, this,
            [this, grid](int section) { HeaderClick(grid, section); });
        // A right click on any header opens the column settings.
        header->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(header, &QHeaderView::customContextMenuRequested, this, [this] { ShowColumnConfig(); });
    }
    connect(m_c.VT->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex &current) { TreeChange(current); });
    connect(m_c.VTList, &QTreeView::doubleClicked, this,
        [this](const QModelIndex &index) { PathListDblClick(index); });

    m_ranges = LoadRanges(GetConfig().Document(), &m_loadProblems);
    m_sizeBars = GetConfig().Document().sizeBars();
    // A column whose name no field has shows FileName; say so once, not at every redraw.
    TXMLNodesType nodes = GetConfig().Document().nodes();
    for (int i = 0; i < nodes.count(); ++i) {
        try {
            const QString name = nodes.node(i).name();
            if (!FieldOfColumn(name))
                m_loadProblems.append(UnknownColumnProblem(name));
        } catch (const ConfigError &) {
            // LoadColumns reports an entry that cannot be read.
        }
    }
    const auto painterOf = [this](QChartView *view) {
        auto *painter = new ChartPainter(view->chart(), this);
        connect(painter, &ChartPainter::pointClicked, this,
            [this, painter](int point, const QString &label) { SeriesClick(painter, point, label); });
        return painter;
    };
    m_pathChart = painterOf(m_c.ChartFile);
    m_ageChart = painterOf(m_c.AgeChart);
    m_sizeChart = painterOf(m_c.SizeChart);
    m_typeChart = painterOf(m_c.TypeChart);
}

CatalogTreeModel *TFolvaneCtrl::treeModel() const
{
    return static_cast<CatalogTreeModel *>(m_c.VT->model());
}

NodeListModel *TFolvaneCtrl::listModel(QAbstractItemView *grid) const
{
    return grid == m_c.VT ? nullptr : static_cast<NodeListModel *>(grid->model());
}

void TFolvaneCtrl::LoadColumns(QAbstractItemView *grid)
{
    TXMLNodesType nodes = GetConfig().Document().nodes();
    const int count = nodes.count();
    ListColumns columns;
    struct Placement
    {
        int width;
        int index;
        bool visible;
    };
    QList<Placement> placements;
    for (int i = 0; i < count; ++i) {
        const TXMLNodeType entry = nodes.node(i);
        ListColumn column;
        column.header = entry.name();
        column.field = FieldIndexOf(column.header);
        column.background =
            entry.readOnly() ? ReadOnlyBackground : QToolTip::palette().color(QPalette::ToolTipBase);
        column.alignment = alignmentOf(entry.align());
        columns.append(column);
        placements.append({entry.width(), entry.index(), entry.visible()});
    }
    // A compared scan shows its two fields after the catalogue's columns.
    QStringList compared;
    if (m_scan)
        AddComparisonColumns(compared, *m_scan);
    for (const QString &key : compared) {
        const int field = FieldIndexOf(key);
        if (std::any_of(
                columns.begin(), columns.end(), [field](const ListColumn &c) { return c.field == field; }))
            continue;
        ListColumn column;
        column.header = key;
        column.field = field;
        column.background = ReadOnlyBackground;
        column.alignment = field == SizeChange ? Qt::AlignRight : Qt::AlignLeft;
        columns.append(column);
        placements.append({100, int(placements.size()) + 1000, true});
    }
    if (grid == m_c.VT)
        treeModel()->setColumns(columns);
    else
        listModel(grid)->setColumns(columns);
    SizeBarDelegate::install(*grid, columns)->setShown(m_sizeBars);

    QHeaderView *header = columnHeader(grid);
    for (int i = 0; i < placements.size(); ++i)
        header->resizeSection(i, placements[i].width);
    // Display positions after every column exists: placed from the first position
    // on, so a later move never displaces one already made (equal or odd Index values
    // keep catalogue order).
    QList<int> byPosition(placements.size());
    std::iota(byPosition.begin(), byPosition.end(), 0);
    std::stable_sort(byPosition.begin(), byPosition.end(),
        [&](int a, int b) { return placements[a].index < placements[b].index; });
    for (int position = 0; position < byPosition.size(); ++position)
        header->moveSection(header->visualIndex(byPosition[position]), position);
    for (int i = 0; i < placements.size(); ++i)
        header->setSectionHidden(i, !placements[i].visible);
}

void TFolvaneCtrl::ShowScan(std::shared_ptr<CatalogTree> tree)
{
    const bool columnsChange = (m_scan && m_scan->comparison()) != (tree && tree->comparison());
    m_scan = std::move(tree);
    if (columnsChange) {
        for (QAbstractItemView *grid : m_c.grids())
            LoadColumns(grid);
    }
    m_slices.clear(); // the drill-down lists keep the rows of the last scan until clicked
    treeModel()->setScan(m_scan);
    showTop();
}

void TFolvaneCtrl::ResortAndShowTop()
{
    if (!m_scan)
        return;
    // Ages move on while a scan is shown: a file may have crossed into the next range.
    ClassifyFiles(*m_scan, m_ranges, QDateTime::currentSecsSinceEpoch());
    showTop();
}

void TFolvaneCtrl::showTop()
{
    CatalogTreeModel *model = treeModel();
    if (!model->scan())
        return;
    sortGrid(m_c.VT, Qt::SortOrder(m_c.VT->property(SortOrderProperty).toInt()));
    m_c.VT->expand(model->indexOf(model->scan()->top()));
    m_currentNode = NoNode; // a new or re-sorted scan always refreshes every view
    ShowNode(model->scan()->top());
}

void TFolvaneCtrl::sortGrid(QAbstractItemView *grid, Qt::SortOrder order)
{
    if (grid == m_c.VT)
        treeModel()->sortByField(m_sortField, order);
    else
        listModel(grid)->sortByField(m_sortField, order);
}

void TFolvaneCtrl::HeaderClick(QAbstractItemView *grid, int section)
{
    const int column = grid->property(SortColumnProperty).toInt();
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column != -1) // every further click flips, on the same column or another
        order = grid->property(SortOrderProperty).toInt() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                : Qt::AscendingOrder;
    grid->setProperty(SortColumnProperty, section);
    grid->setProperty(SortOrderProperty, int(order));
    const ListColumns &columns = grid == m_c.VT ? treeModel()->columns() : listModel(grid)->columns();
    m_sortField = section >= 0 && section < columns.size() ? columns[section].field : FileName;
    sortGrid(grid, order);
    columnHeader(grid)->setSortIndicatorShown(true);
    columnHeader(grid)->setSortIndicator(section, order);
}

void TFolvaneCtrl::TreeChange(const QModelIndex &current)
{
    const NodeIndex node = treeModel()->nodeOf(current);
    if (node != NoNode)
        ShowNode(node);
}

void TFolvaneCtrl::ShowNode(NodeIndex node)
{
    const std::shared_ptr<const CatalogTree> &tree = treeModel()->scan();
    if (!tree || node == NoNode || node >= tree->nodeCount())
        return;
    if (node == m_currentNode && tree == m_shown)
        return;
    m_shown = tree;
    m_currentNode = node;
    m_currentPath = tree->fullPath(node);
    m_c.lbPath->setText(m_currentPath);
    m_c.btnUp->setEnabled(m_currentPath != m_rootPath);
    FillPathList();
    m_statistics = CountStatistics(*tree, node, &treeModel()->order());
    drawCharts();
    emit currentNodeChanged(node);
}

void TFolvaneCtrl::drawCharts()
{
    DrawPathChart(m_c.tbBarFile->isChecked());
    DrawAgeChart(m_c.tbBar->isChecked(), TimeKind());
    DrawSizeChart(m_c.tbBarSize->isChecked());
    DrawTypeChart(m_c.tbBarType->isChecked(), ShowAll());
}

int TFolvaneCtrl::TimeKind() const
{
    return m_c.sbCreate->isChecked() ? 0 : m_c.sbAccess->isChecked() ? 1 : 2;
}

bool TFolvaneCtrl::ShowAll() const
{
    return !m_c.sbTop->isChecked();
}

bool TFolvaneCtrl::TypesBySize() const
{
    return m_c.tbTypeBySize && m_c.tbTypeBySize->isChecked();
}

void TFolvaneCtrl::DrawPathChart(bool asBar)
{
    const NodeRows &rows = listModel(m_c.VTList)->rows();
    std::vector<double> sizes;
    sizes.reserve(rows.size());
    for (const NodeIndex node : rows.nodes) {
        const CatalogNodeData &d = rows.tree->node(node);
        sizes.push_back(d.has(CatalogNodeData::HasSize) ? double(d.size) : 0.0);
    }
    // The largest entries keep their own slices, in the list's order.
    double smallestKept = -1;
    if (sizes.size() > MaxChartPoints) {
        std::vector<double> sorted = sizes;
        std::nth_element(
            sorted.begin(), sorted.begin() + (MaxChartPoints - 2), sorted.end(), std::greater<>());
        smallestKept = sorted[MaxChartPoints - 2];
    }
    QList<ChartPoint> points;
    m_pathChartNodes.clear();
    double rest = 0;
    std::size_t others = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (smallestKept < 0
            || (sizes[i] >= smallestKept && std::size_t(points.size()) < MaxChartPoints - 1)) {
            points.append({rows.tree->fieldText(rows.nodes[i], FileName), sizes[i]});
            m_pathChartNodes.push_back(rows.nodes[i]);
        } else {
            rest += sizes[i];
            ++others;
        }
    }
    if (others > 0)
        points.append({QStringLiteral("%1 other entries").arg(others), rest});
    m_pathChart->draw(m_currentPath, points, asBar);
}

void TFolvaneCtrl::DrawAgeChart(bool asBar, int timeKind)
{
    const std::vector<std::uint64_t> &counts = timeKind == 0 ? m_statistics.createAge
        : timeKind == 1                                      ? m_statistics.accessAge
                                                             : m_statistics.writeAge;
    m_ageChart->draw(QStringLiteral("File Age Chart"), RangePoints(m_ranges.age.labels, counts), asBar);
}

void TFolvaneCtrl::DrawSizeChart(bool asBar)
{
    m_sizeChart->draw(
        QStringLiteral("File Size Chart"), RangePoints(m_ranges.size.labels, m_statistics.size), asBar);
}

void TFolvaneCtrl::DrawTypeChart(bool asBar, bool showAll)
{
    // By size the slices are the same extensions, ordered and measured by their bytes.
    const bool bySize = TypesBySize();
    const auto &types = bySize ? m_statistics.typeBytes : m_statistics.types;
    const std::size_t limit = types.size() > MaxChartPoints ? MaxChartPoints - 1 : MaxChartPoints;
    const std::size_t shown = std::min(types.size(), showAll ? limit : std::size_t(10));
    QList<ChartPoint> points;
    for (std::size_t i = 0; i < shown; ++i)
        points.append({types[i].first, double(types[i].second)});
    if (showAll && types.size() > shown) {
        double rest = 0;
        for (std::size_t i = shown; i < types.size(); ++i)
            rest += double(types[i].second);
        points.append({QStringLiteral("%1 other extensions").arg(types.size() - shown), rest});
    }
    m_typeChart->draw(bySize ? QStringLiteral("File Type Chart by Size") : QStringLiteral("File Type Chart"),
        points, asBar);
}

void TFolvaneCtrl::SeriesClick(ChartPainter *painter, int point, const QString &label)
{
    if (painter == m_pathChart) {
        // By node, never by name: two entries may show the same text.
        if (point >= 0 && std::size_t(point) < m_pathChartNodes.size())
            OpenChild(m_pathChartNodes[std::size_t(point)]);
    } else if (painter == m_ageChart) {
        FillSliceList(m_c.VTAge, SliceKind(TimeKind()), QString::number(point));
        m_c.pcAge->setCurrentIndex(1);
    } else if (painter == m_sizeChart) {
        FillSliceList(m_c.VTSize, SliceKind::Size, QString::number(point));
        m_c.pcSize->setCurrentIndex(1);
    } else if (painter == m_typeChart) {
        // The shared slice of the rarest extensions stands for no one extension.
        if (m_statistics.types.size() > MaxChartPoints && std::size_t(point) >= MaxChartPoints - 1)
            return;
        FillSliceList(m_c.VTType, SliceKind::Type, label);
        m_c.pcType->setCurrentIndex(1);
    }
}

void TFolvaneCtrl::FillSliceList(QAbstractItemView *list, SliceKind kind, const QString &key)
{
    if (!m_shown || m_currentNode == NoNode)
        return;
    Slice &slice = m_slices[list];
    slice = {kind, key, m_currentNode, false};
    refillSlice(list, slice);
}

void TFolvaneCtrl::refillSlice(QAbstractItemView *list, Slice &slice)
{
    listModel(list)->setRows(SliceListRows(m_shown, treeModel()->order(), slice.node, slice.kind, slice.key));
    slice.stale = false;
    showsTreeOrder(list);
}

bool TFolvaneCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        const auto found = m_slices.find(static_cast<QAbstractItemView *>(watched));
        if (found != m_slices.end() && found->second.stale)
            refillSlice(found->first, found->second);
    }
    return QObject::eventFilter(watched, event);
}

void TFolvaneCtrl::FillPathList()
{
    listModel(m_c.VTList)->setRows(PathListRows(m_shown, treeModel()->order(), m_currentNode));
    showsTreeOrder(m_c.VTList);
}

void TFolvaneCtrl::showsTreeOrder(QAbstractItemView *list)
{
    // A list filled afresh is in the Total Tree's order, not in the one its header
    // last showed; the next click on the header flips its direction as before.
    columnHeader(list)->setSortIndicatorShown(false);
}

void TFolvaneCtrl::GoUp()
{
    if (!m_shown || m_currentNode == NoNode || m_currentNode == m_shown->top())
        return;
    ShowNode(m_shown->parent(m_currentNode));
}

ExportRows TFolvaneCtrl::exportRows(QAbstractItemView *list) const
{
    if (list == m_c.VT)
        return ExportRows::wholeTree(treeModel()->scan(), treeModel()->order());
    return ExportRows::flat(listModel(list)->rows());
}

void TFolvaneCtrl::ExportList(QAbstractItemView *list, ExportFormat format)
{
    if (list == nullptr || m_c.XMLDoc == nullptr)
        return;
    if (!m_scan) {
        ReportExportWarning(
            m_c.MainForm, QStringLiteral("There is nothing to export yet: open a folder first."));
        return;
    }
    // A column entry that cannot be read was reported when the lists took their
    // columns at start; the export goes on with the columns that can be read.
    QString problem;
    QStringList columns = GetExportColumns(GetConfig().Document().nodes(), &problem);
    if (m_scan)
        AddComparisonColumns(columns, *m_scan);
    TFileInfo info(
        m_c.MainForm, *m_c.XMLDoc, std::move(columns), [this, list] { return exportRows(list); },
        m_c.ShowWait);
    m_export = &info;
    const auto forget = qScopeGuard([this] { m_export = nullptr; });
    if (info.Export(format))
        ReportExportFinished(m_c.MainForm);
}

void TFolvaneCtrl::StopExport()
{
    if (m_export)
        m_export->Stop();
}

void TFolvaneCtrl::OpenChild(NodeIndex child)
{
    if (!m_shown || m_currentNode == NoNode || child == NoNode || child >= m_shown->nodeCount()
        || child == m_shown->top() || m_shown->parent(child) != m_currentNode)
        return;
    ShowEntry(child);
}

std::vector<NodeIndex> TFolvaneCtrl::ChosenEntries(QAbstractItemView *grid) const
{
    std::vector<NodeIndex> nodes;
    if (!m_shown || !grid->selectionModel())
        return nodes;
    QModelIndexList rows = grid->selectionModel()->selectedRows();
    if (grid == m_c.VT) {
        // In the order the tree shows them: pre-order, by each node's path of rows.
        const auto rowPath = [](QModelIndex index) {
            std::vector<int> path;
            for (; index.isValid(); index = index.parent())
                path.insert(path.begin(), index.row());
            return path;
        };
        std::sort(rows.begin(), rows.end(),
            [&](const QModelIndex &a, const QModelIndex &b) { return rowPath(a) < rowPath(b); });
    } else {
        std::sort(rows.begin(), rows.end(),
            [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    }
    for (const QModelIndex &row : rows) {
        const TCatalogNode record =
            grid == m_c.VT ? treeModel()->record(row) : listModel(grid)->record(row.row());
        if (record.tree() == m_shown && !record.isNull())
            nodes.push_back(record.index());
    }
    return nodes;
}

void TFolvaneCtrl::ShowEntry(NodeIndex node)
{
    if (!m_shown || node == NoNode || node >= m_shown->nodeCount())
        return;
    const QModelIndex index = treeModel()->indexOf(node);
    m_c.VT->scrollTo(index); // expands the folders above it
    // Selecting it makes VT report the change, which shows the node. Up leaves VT's
    // current row where it was: a node that is that row already is shown here.
    if (m_c.VT->currentIndex() == index)
        ShowNode(node);
    else
        m_c.VT->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TFolvaneCtrl::SelectEntry(NodeIndex node)
{
    if (!m_shown || node == NoNode || node >= m_shown->nodeCount() || m_shown->isRetired(node))
        return;
    const QModelIndex index = treeModel()->indexOf(node);
    m_c.VT->scrollTo(index);
    m_c.VT->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    for (FlatListView *list : {m_c.VTList, m_c.VTAge, m_c.VTSize, m_c.VTType}) {
        const NodeRows &rows = listModel(list)->rows();
        const auto row = rows.tree == m_shown ? std::find(rows.nodes.begin(), rows.nodes.end(), node)
                                              : rows.nodes.end();
        if (row == rows.nodes.end()) {
            list->selectionModel()->clearSelection();
            continue;
        }
        const QModelIndex rowIndex = list->model()->index(int(row - rows.nodes.begin()), 0);
        list->scrollTo(rowIndex);
        list->selectionModel()->setCurrentIndex(
            rowIndex, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

std::vector<QRgb> TFolvaneCtrl::TypeColours() const
{
    const std::size_t points = std::min(m_statistics.types.size(), MaxChartPoints);
    std::vector<QRgb> colours;
    colours.reserve(points);
    for (std::size_t i = 0; i < points; ++i)
        colours.push_back(ChartPainter::pointColor(int(i)).rgb());
    return colours;
}

void TFolvaneCtrl::RemoveFromScan(const std::vector<NodeIndex> &nodes)
{
    editScan(nodes, false, [&nodes](CatalogTree &tree) { return tree.removeEntries(nodes); });
}

void TFolvaneCtrl::ReplaceInScan(NodeIndex folder, const CatalogTree &fresh)
{
    editScan(
        {folder}, true, [folder, &fresh](CatalogTree &tree) { return tree.replaceFolder(folder, fresh); });
}

Statistics TFolvaneCtrl::leavingStatistics(const std::vector<NodeIndex> &parts) const
{
    // Only the outermost parts count: one below another goes with it.
    std::unordered_set<NodeIndex> chosen(parts.begin(), parts.end());
    Statistics leaving = CountStatistics(*m_scan, NoNode);
    for (const NodeIndex part : parts) {
        bool outermost = true;
        for (NodeIndex n = m_scan->parent(part); n != NoNode && outermost; n = m_scan->parent(n))
            outermost = !chosen.count(n);
        if (outermost)
            ApplyStatisticsChange(leaving, {}, CountStatistics(*m_scan, part, &treeModel()->order()));
    }
    return leaving;
}

void TFolvaneCtrl::editScan(const std::vector<NodeIndex> &parts, bool replaced,
    const std::function<std::vector<NodeIndex>(CatalogTree &tree)> &edit)
{
    if (!m_scan || m_currentNode == NoNode)
        return;
    // The current folder and those above it, nearest first: the first that remains
    // is current afterwards.
    std::vector<NodeIndex> above;
    for (NodeIndex n = m_currentNode; n != NoNode; n = m_scan->parent(n))
        above.push_back(n);
    emit scanAboutToChange();
    // When every part lies below the current folder, which therefore stays, its
    // statistics follow by difference: what leaves and what comes is counted, not the
    // whole folder again (a second, not a millisecond, at the top of millions of files).
    const bool byDifference =
        m_shown == m_scan && std::all_of(parts.begin(), parts.end(), [&](NodeIndex part) {
            for (NodeIndex n = m_scan->parent(part); n != NoNode; n = m_scan->parent(n)) {
                if (n == m_currentNode)
                    return true;
            }
            return false;
        });
    const Statistics leaving = byDifference ? leavingStatistics(parts) : Statistics {};
    treeModel()->editScan([&] { return edit(*m_scan); }, m_sortField,
        Qt::SortOrder(m_c.VT->property(SortOrderProperty).toInt()));
    NodeIndex current = m_scan->top();
    for (const NodeIndex n : above) {
        if (const NodeIndex now = m_scan->successor(n); now != NoNode) {
            current = now;
            break;
        }
    }
    // Every view is filled again from the changed tree, the drill-down lists with
    // the slice they showed (of the folder they showed it for, while it remains).
    if (byDifference) {
        Statistics coming = CountStatistics(*m_scan, NoNode);
        if (replaced) {
            if (const NodeIndex now = m_scan->successor(parts.front()); now != NoNode)
                coming = CountStatistics(*m_scan, now, &treeModel()->order());
        }
        ApplyStatisticsChange(m_statistics, leaving, coming);
        // ShowNode passes over the node it already shows.
        m_currentNode = current;
        FillPathList();
        drawCharts();
        emit currentNodeChanged(current);
    } else {
        m_currentNode = NoNode;
    }
    const QModelIndex index = treeModel()->indexOf(current);
    if (m_c.VT->currentIndex() == index) {
        ShowNode(current);
    } else {
        m_c.VT->scrollTo(index);
        m_c.VT->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        ShowNode(current); // when VT reported no change
    }
    for (auto it = m_slices.begin(); it != m_slices.end();) {
        auto &[list, slice] = *it;
        slice.node = m_scan->successor(slice.node);
        if (slice.node == NoNode) {
            listModel(list)->setRows({});
            it = m_slices.erase(it);
            continue;
        }
        if (list->isVisible()) {
            refillSlice(list, slice);
        } else {
            listModel(list)->setRows({});
            slice.stale = true;
        }
        ++it;
    }
}

void TFolvaneCtrl::OpenFocused(QAbstractItemView *grid)
{
    const QModelIndex focused = grid->currentIndex();
    if (!m_shown || !focused.isValid())
        return;
    const TCatalogNode record =
        grid == m_c.VT ? treeModel()->record(focused) : listModel(grid)->record(focused.row());
    if (record.tree() != m_shown || record.isNull())
        return;
    if (m_shown->isFolder(record.index())) {
        ShowEntry(record.index());
        return;
    }
    OpenPath(m_shown->fullPathBytes(record.index()), false);
}

void TFolvaneCtrl::OpenPath(const QByteArray &path, bool inFileManager)
{
    if (openFolder(path))
        return;
    const QString shown = QString::fromUtf8(path);
    emit statusMessage(inFileManager
            ? QStringLiteral("No file manager could be started to open %1").arg(shown)
            : QStringLiteral("Nothing could be started to open %1").arg(shown));
}

void TFolvaneCtrl::PathListDblClick(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const TCatalogNode record = listModel(m_c.VTList)->record(index.row());
    if (record.tree() == m_shown)
        OpenChild(record.index());
}

void TFolvaneCtrl::OpenExplorer(QAbstractItemView *grid)
{
    if (!m_shown || m_currentNode == NoNode)
        return;
    // A view makes its first row current when it takes the focus, without selecting
    // it: only a row the user chose counts, otherwise the current folder opens.
    const QModelIndex focused = grid->currentIndex();
    NodeIndex node = m_currentNode;
    if (focused.isValid() && grid->selectionModel()->isSelected(focused)) {
        const TCatalogNode record =
            grid == m_c.VT ? treeModel()->record(focused) : listModel(grid)->record(focused.row());
        if (record.tree() == m_shown && !record.isNull())
            node = record.index();
    }
    if (!m_shown->isFolder(node) && node != m_shown->top())
        node = m_shown->parent(node);
    OpenPath(m_shown->fullPathBytes(node), true);
}

void TFolvaneCtrl::ShowColumnConfig()
{
    TFormConfig dialog(m_c.MainForm);
    const int columnsBefore = GetConfig().Document().nodes().count();
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Every list follows the choice at once: a column hidden in one list and still
    // shown in the others until the next start would look like a fault.
    TXMLNodesType nodes = GetConfig().Document().nodes();
    if (nodes.count() != columnsBefore) { // a column joined the list
        for (QAbstractItemView *grid : m_c.grids())
            LoadColumns(grid);
        return;
    }
    for (QAbstractItemView *grid : m_c.grids()) {
        for (int i = 0; i < nodes.count(); ++i)
            columnHeader(grid)->setSectionHidden(i, !nodes.node(i).visible());
    }
}

void TFolvaneCtrl::ShowSizeBars(bool shown)
{
    m_sizeBars = shown;
    GetConfig().Document().setSizeBars(shown);
    for (QAbstractItemView *grid : m_c.grids()) {
        if (auto *bars = grid->findChild<SizeBarDelegate *>(QString(), Qt::FindDirectChildrenOnly))
            bars->setShown(shown);
        grid->viewport()->update();
    }
}

void TFolvaneCtrl::SaveColumnLayout()
{
    TXMLNodesType nodes = GetConfig().Document().nodes();
    QHeaderView *header = columnHeader(m_c.VT);
    const int count = qMin(nodes.count(), header->count());
    for (int i = 0; i < count; ++i) {
        TXMLNodeType entry = nodes.node(i);
        // A hidden column has no width on screen: it keeps the one it had.
        if (!header->isSectionHidden(i))
            entry.setWidth(header->sectionSize(i));
        entry.setVisible(!header->isSectionHidden(i));
        entry.setIndex(header->visualIndex(i));
    }
    GetConfig().Save();
}
