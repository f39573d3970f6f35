#include "TFormMain.h"

#include "ScanFileCommands.h"

#include "CatalogTreeModel.h"
#include "CellText.h"
#include "CommandIcons.h"
#include "ConfigError.h"
#include "EntryActions.h"
#include "EntryRemoval.h"
#include "ExportFile.h"
#include "FlatListView.h"
#include "FolderPath.h"
#include "FolderPicker.h"
#include "HelpPage.h"
#include "NodeListModel.h"
#include "ScanCounts.h"
#include "ScanFileCommands.h"
#include "TConfig.h"
#include "TFolvaneCtrl.h"
#include "TFormAbout.h"
#include "TWaitForm.h"
#include "TreemapPage.h"
#include "TreemapView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QChartView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

// The scan's total size and the space it takes: "8.57 GB in files, 8.93 GB on disk".
QString totalSizes(const CatalogTree &tree)
{
    const CatalogNodeData &top = tree.node(tree.top());
    return QStringLiteral("%1 in files, %2 on disk")
        .arg(SizeCellText(double(top.size)), SizeCellText(double(top.diskSize)));
}

// What the status bar says of a finished scan.
QString scanSummary(const ScanResult &result, double seconds)
{
    const CatalogTree &tree = *result.tree;
    const ScanCounts counts = CountScan(tree);
    const QLocale locale;
    // Entries of no known kind are named, so that the counts add up to the entries.
    const QString unknown = counts.unknownKind == 0
        ? QString()
        : QStringLiteral(", %1 of unknown kind").arg(locale.toString(qulonglong(counts.unknownKind)));
    QString text =
        QStringLiteral("%1 entries (%2 files, %3 folders%4), %5 in %6 s")
            .arg(locale.toString(qulonglong(counts.entries)), locale.toString(qulonglong(counts.files)),
                locale.toString(qulonglong(counts.folders)), unknown, totalSizes(tree),
                locale.toString(seconds, 'f', 2));
    const std::uint64_t unread = counts.unreadableFolders;
    if (unread > 0)
        text += QStringLiteral("; %1 could not be read")
                    .arg(unread == 1 ? QStringLiteral("1 folder") : QStringLiteral("%1 folders").arg(unread));
    if (result.stop == ScanStop::Cancelled)
        return QStringLiteral("Scan cancelled: ") + text;
    if (result.stop == ScanStop::TopUnreadable)
        return QStringLiteral("Cannot read %1: %2")
            .arg(tree.fullPath(tree.top()), QString::fromLocal8Bit(std::strerror(result.error)));
    if (!result.complete()) {
        QString why = QString::fromLatin1(ScanStopText(result.stop));
        if (result.error != 0)
            why += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(result.error)));
        return QStringLiteral("The scan stopped short, %1, at %2: ").arg(why, tree.fullPath(result.stoppedAt))
            + text;
    }
    return QStringLiteral("Scanned ") + text;
}

// The scan's figures as they stand: "6,263 entries (5,170 files, 1,093 folders),
// 118.70 MB in files, 121.02 MB on disk".
// Why a scan opened from files, or a comparison, is neither changed nor read again.
const QString StoredScanRefusal = QStringLiteral(
    "This scan was opened from a file or compared: it stands for no folder here, so nothing is removed or "
    "read again");

QString scanFigures(const CatalogTree &tree)
{
    const ScanCounts counts = CountScan(tree);
    const QLocale locale;
    return QStringLiteral("%1 entries (%2 files, %3 folders), %4")
        .arg(locale.toString(qulonglong(counts.entries)), locale.toString(qulonglong(counts.files)),
            locale.toString(qulonglong(counts.folders)), totalSizes(tree));
}

// The chosen entries without those below another chosen one: what goes, and whose
// sizes add up to what goes.
std::vector<NodeIndex> outermost(const CatalogTree &tree, const std::vector<NodeIndex> &nodes)
{
    const std::set<NodeIndex> chosen(nodes.begin(), nodes.end());
    std::vector<NodeIndex> kept;
    for (const NodeIndex node : nodes) {
        bool below = false;
        for (NodeIndex up = tree.parent(node); up != NoNode && !below; up = tree.parent(up))
            below = chosen.count(up) != 0;
        if (!below)
            kept.push_back(node);
    }
    return kept;
}

// The one question before a removal: what goes (the first few by path, and how many
// more), how much, and for a deletion that it cannot be undone.
QString RemovalQuestion(const CatalogTree &tree, const std::vector<NodeIndex> &nodes, bool permanently)
{
    constexpr std::size_t Named = 5;
    const std::vector<NodeIndex> going = outermost(tree, nodes);
    double bytes = 0;
    QStringList lines;
    for (const NodeIndex node : going) {
        bytes += double(tree.node(node).size);
        if (std::size_t(lines.size()) < Named)
            lines << tree.fullPath(node);
    }
    if (going.size() > Named)
        lines << QStringLiteral("and %1 more").arg(going.size() - Named);
    const QString what = going.size() == 1 ? QStringLiteral("this entry")
                                           : QStringLiteral("these %1 entries").arg(going.size());
    QString question = permanently ? QStringLiteral("Delete %1 (%2) permanently?")
                                   : QStringLiteral("Move %1 (%2) to the trash?");
    question =
        question.arg(what, SizeCellText(bytes)) + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
    if (permanently)
        question += QStringLiteral("\n\nThey cannot be recovered.");
    return question;
}

QString RemovalSummary(const RemovalResult &result, bool permanently)
{
    const std::size_t removed = result.count(RemovalStatus::Removed);
    QString text = permanently ? QStringLiteral("Deleted %1 of %2 entries")
                               : QStringLiteral("Moved %1 of %2 entries to the trash");
    text = text.arg(removed).arg(result.outcomes.size());
    if (const std::size_t skipped = result.count(RemovalStatus::Skipped))
        text += QStringLiteral(", %1 skipped").arg(skipped);
    if (const std::size_t failed = result.count(RemovalStatus::Failed))
        text += QStringLiteral(", %1 failed").arg(failed);
    return text;
}

// What the tree and the lists share: whole rows, no editing, columns that move.
void setUpGrid(QAbstractItemView *grid)
{
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setIconSize(QSize(16, 16));
    columnHeader(grid)->setSectionsMovable(true);
    columnHeader(grid)->setStretchLastSection(false);
}

} // namespace

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Folvane 2.0"));
    resize(934, 490);
    setAcceptDrops(true);
    showProblem = [this](const QString &problem) {
        QMessageBox::warning(this, QStringLiteral("Folvane"), problem);
    };
    confirmRemoval = [this](const QString &question) {
        return QMessageBox::question(this, QStringLiteral("Folvane"), question,
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };

    QMenuBar *menu = menuBar();
    // How the next scans walk: both off by default, so every figure is the plain sum.
    QMenu *scanMenu = menu->addMenu(QStringLiteral("Scan"));
    actOneFileSystem = scanMenu->addAction(QStringLiteral("Stay on one file system"));
    actOneFileSystem->setCheckable(true);
    actOneFileSystem->setToolTip(
        QStringLiteral("Folders on other file systems (mount points) are not entered"));
    actCountLinksOnce = scanMenu->addAction(QStringLiteral("Count hard links once"));
    actCountLinksOnce->setCheckable(true);
    actCountLinksOnce->setToolTip(QStringLiteral("A file with several hard links counts its size once"));
    scanMenu->addSeparator();
    actSizeBars = scanMenu->addAction(QStringLiteral("Size Bars"));
    actSizeBars->setCheckable(true);
    actSizeBars->setChecked(true);
    actSizeBars->setToolTip(QStringLiteral("Bars of each entry's share behind the Size Percentage column"));
    scanMenu->setToolTipsVisible(true);
    connect(menu->addAction(QStringLiteral("About")), &QAction::triggered, this, &TFormMain::m1Click);
    connect(menu->addAction(QStringLiteral("Help")), &QAction::triggered, this, &TFormMain::m2Click);

    VT = makeTree();
    VTList = makeList();
    VTAge = makeList();
    VTSize = makeList();
    VTType = makeList();
    m_treeModel = new CatalogTreeModel(m_icons, this);
    VT->setModel(m_treeModel);
    for (FlatListView *list : {VTList, VTAge, VTSize, VTType})
        list->setModel(new NodeListModel(m_icons, this));

    pcAge = new QStackedWidget;
    pcSize = new QStackedWidget;
    pcType = new QStackedWidget;
    pcTotal = new QTabWidget;
    pcTotal->setDocumentMode(true);
    pcTotal->addTab(listPage(VT, nullptr), CommandIcon(Command::TabTree), QStringLiteral("Total Tree"));
    pcTotal->addTab(
        listPage(VTList, nullptr), CommandIcon(Command::TabList), QStringLiteral("Current Path File List"));
    sbCreate = textButton(QStringLiteral("File Create Time"));
    sbAccess = textButton(QStringLiteral("File AccessTime"));
    sbWrite = textButton(QStringLiteral("File Write Time"));
    sbTop = textButton(QStringLiteral("Top 10"));
    sbAll = textButton(QStringLiteral("All"));
    pcTotal->addTab(chartPage(ChartFile, tbPieFile, tbBarFile, {}, nullptr, nullptr),
        CommandIcon(Command::TabFileChart), QStringLiteral("Current Path File Chart"));
    pcTotal->addTab(chartPage(AgeChart, tbPie, tbBar, {sbCreate, sbAccess, sbWrite}, pcAge, VTAge),
        CommandIcon(Command::TabAge), QStringLiteral("Age of Files"));
    pcTotal->addTab(chartPage(SizeChart, tbPieSize, tbBarSize, {}, pcSize, VTSize),
        CommandIcon(Command::TabSize), QStringLiteral("Size of Files"));
    tbTypeBySize = textButton(QStringLiteral("By Size"));
    tbTypeBySize->setToolTip(
        QStringLiteral("By Size: the bytes of each extension instead of its number of files"));
    tbTypeBySize->setAccessibleName(QStringLiteral("By Size"));
    pcTotal->addTab(chartPage(TypeChart, tbPieType, tbBarType, {sbTop, sbAll}, pcType, VTType, tbTypeBySize),
        CommandIcon(Command::TabType), QStringLiteral("Type of Files"));
    Treemap = new TreemapPage;
    pcTotal->addTab(Treemap, CommandIcon(Command::TabTreemap), QStringLiteral("Treemap"));
    // At start every chart is a pie, the age chart of creation times, the type chart of all extensions.
    for (QToolButton *down : {tbPieFile, tbPie, tbPieSize, tbPieType, sbCreate, sbAll})
        down->setChecked(true);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTopBar());
    layout->addWidget(pcTotal, 1);
    setCentralWidget(central);

    SB = new QLabel;
    SB->setMinimumWidth(700);
    statusBar()->addWidget(SB, 1);

    WaitForm = new TWaitForm(this);
    connect(WaitForm, &TWaitForm::cancelRequested, &m_scan, &ScanJob::cancel);
    connect(&m_scan, &ScanJob::progress, this, [this](quint64 entries, const QString &folder) {
        const QString count = QLocale().toString(qulonglong(entries));
        WaitForm->SetWaitText(QStringLiteral("%1 entries, %2").arg(count, folder));
    });
    connect(&m_scan, &ScanJob::finished, this, &TFormMain::scanFinished);
}

TFormMain::~TFormMain()
{
    // The grids ask the models for icons until they are gone, and the icons are a
    // member of this window: the grids go first.
    delete takeCentralWidget();
}

std::array<QAbstractItemView *, 5> TFormMain::grids() const
{
    return {VT, VTList, VTAge, VTSize, VTType};
}

QTreeView *TFormMain::makeTree()
{
    auto *tree = new QTreeView;
    tree->setUniformRowHeights(true);
    tree->setAllColumnsShowFocus(true);
    tree->setSortingEnabled(false);
    setUpGrid(tree);
    return tree;
}

// A flat view: a list of a million rows costs the widget no memory per row.
FlatListView *TFormMain::makeList()
{
    auto *list = new FlatListView;
    setUpGrid(list);
    return list;
}

QWidget *TFormMain::buildTopBar()
{
    auto *bar = new QWidget;
    bar->setFixedHeight(41);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 0, 4, 0);

    btnOpen = new QToolButton;
    btnOpen->setText(QStringLiteral("&Open Folder"));
    btnOpen->setIcon(CommandIcon(Command::OpenFolder));
    btnOpen->setIconSize(QSize(16, 16));
    btnOpen->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QFont bold = btnOpen->font();
    bold.setBold(true);
    btnOpen->setFont(bold);
    btnOpen->setAutoRaise(true);
    connect(btnOpen, &QToolButton::clicked, this, &TFormMain::btnOpenClick);

    btnUp = new QToolButton;
    btnUp->setIcon(CommandIcon(Command::Up));
    btnUp->setToolTip(QStringLiteral("back to top"));
    btnUp->setAutoRaise(true);
    btnUp->setEnabled(false);
    connect(btnUp, &QToolButton::clicked, this, &TFormMain::btnUpClick);

    lbPath = new QLabel(QStringLiteral("Current Path"));
    lbPath->setStyleSheet(QStringLiteral("color: blue;"));
    lbPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    row->addWidget(btnOpen);
    row->addSpacing(8);
    row->addWidget(new QLabel(QStringLiteral("Current Path:")));
    row->addWidget(btnUp);
    row->addWidget(lbPath, 1);
    return bar;
}

QToolBar *TFormMain::listToolBar(QAbstractItemView *grid, QStackedWidget *returnTo)
{
    auto *bar = new QToolBar;
    bar->setIconSize(QSize(32, 32));
    bar->setFixedHeight(40);
    if (returnTo) {
        connect(bar->addAction(CommandIcon(Command::Return), QStringLiteral("return")), &QAction::triggered,
            this, [returnTo] { returnTo->setCurrentIndex(0); });
        bar->addSeparator();
    }
    bar->addWidget(new QLabel(QStringLiteral("  Export:     ")));
    // Ctrl is made when the window is first shown; before that there is nothing to export.
    const struct
    {
        Command command;
        const char *tip;
        ExportFormat format;
    } exports[] = {
        {Command::ExportHtml, "Export to HTML", ExportFormat::Html},
        {Command::ExportXml, "Export to XML", ExportFormat::Xml},
        {Command::ExportText, "Export to Text", ExportFormat::Text},
        {Command::ExportCsv, "Export to CSV", ExportFormat::Csv},
        {Command::ExportExcel, "Export to Excel", ExportFormat::Workbook},
    };
    for (const auto &e : exports) {
        connect(bar->addAction(CommandIcon(e.command), QString::fromLatin1(e.tip)), &QAction::triggered, this,
            [this, grid, format = e.format] { exportList(format, grid); });
    }
    bar->addSeparator();
    connect(bar->addAction(CommandIcon(Command::ColumnsConfig), QStringLiteral("Show columns config")),
        &QAction::triggered, this, [this] {
            if (Ctrl)
                Ctrl->ShowColumnConfig();
        });
    connect(bar->addAction(CommandIcon(Command::OpenExplorer), QStringLiteral("Open Explorer")),
        &QAction::triggered, this, [this, grid] {
            if (Ctrl)
                Ctrl->OpenExplorer(grid);
        });
    return bar;
}

QWidget *TFormMain::listPage(QAbstractItemView *grid, QStackedWidget *returnTo)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(listToolBar(grid, returnTo));
    layout->addWidget(grid, 1);
    return page;
}

QToolButton *TFormMain::textButton(const QString &text)
{
    auto *button = new QToolButton;
    button->setText(text);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

QWidget *TFormMain::chartPage(QChartView *&view, QToolButton *&pie, QToolButton *&bar,
    const QList<QToolButton *> &textButtons, QStackedWidget *stack, QAbstractItemView *drillDown,
    QToolButton *toggle)
{
    view = new QChartView;
    view->setRenderHint(QPainter::Antialiasing);
    QChartView *const chart = view;

    auto *toolBar = new QToolBar;
    toolBar->setIconSize(QSize(32, 32));
    toolBar->setFixedHeight(40);
    // Pie and bar are one pair, the text buttons another: each down exactly once.
    auto *kinds = new QButtonGroup(toolBar);
    const auto kindButton = [&](Command command, const char *tip) {
        auto *button = new QToolButton;
        button->setIcon(CommandIcon(command));
        button->setToolTip(QString::fromLatin1(tip));
        button->setCheckable(true);
        kinds->addButton(button);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, [this, chart] { redraw(chart); });
        toolBar->addWidget(button);
        return button;
    };
    pie = kindButton(Command::PieChart, "Pie Chart");
    bar = kindButton(Command::BarChart, "Bar Chart");
    toolBar->addSeparator();
    connect(toolBar->addAction(CommandIcon(Command::SaveChart), QStringLiteral("Save to file")),
        &QAction::triggered, this, [this, chart] { SaveChart(this, chart); });
    if (!textButtons.isEmpty()) {
        toolBar->addSeparator();
        auto *options = new QButtonGroup(toolBar);
        for (QToolButton *button : textButtons) {
            options->addButton(button);
            connect(button, &QToolButton::clicked, this, [this, chart] { redraw(chart); });
            toolBar->addWidget(button);
        }
    }
    if (toggle) {
        toolBar->addSeparator();
        connect(toggle, &QToolButton::clicked, this, [this, chart] { redraw(chart); });
        toolBar->addWidget(toggle);
    }

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(view, 1);
    if (!stack)
        return page;
    stack->addWidget(page);
    stack->addWidget(listPage(drillDown, stack));
    stack->setCurrentIndex(0);
    return stack;
}

void TFormMain::redraw(QChartView *view)
{
    if (!Ctrl)
        return;
    if (view == ChartFile)
        Ctrl->DrawPathChart(tbBarFile->isChecked());
    else if (view == AgeChart)
        Ctrl->DrawAgeChart(tbBar->isChecked(), Ctrl->TimeKind());
    else if (view == SizeChart)
        Ctrl->DrawSizeChart(tbBarSize->isChecked());
    else if (view == TypeChart)
        Ctrl->DrawTypeChart(tbBarType->isChecked(), Ctrl->ShowAll());
}

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    FormShow();
}

void TFormMain::FormShow()
{
    TFolvaneCtrl::Controls controls;
    controls.MainForm = this;
    controls.VT = VT;
    controls.VTList = VTList;
    controls.VTAge = VTAge;
    controls.VTSize = VTSize;
    controls.VTType = VTType;
    controls.lbPath = lbPath;
    controls.btnUp = btnUp;
    controls.ChartFile = ChartFile;
    controls.AgeChart = AgeChart;
    controls.SizeChart = SizeChart;
    controls.TypeChart = TypeChart;
    controls.tbBarFile = tbBarFile;
    controls.tbBar = tbBar;
    controls.tbBarSize = tbBarSize;
    controls.tbBarType = tbBarType;
    controls.sbCreate = sbCreate;
    controls.sbAccess = sbAccess;
    controls.sbTop = sbTop;
    controls.tbTypeBySize = tbTypeBySize;
    controls.pcAge = pcAge;
    controls.pcSize = pcSize;
    controls.pcType = pcType;
    controls.XMLDoc = &XMLDoc;
    controls.ShowWait = [this](bool show, const QString &text) { showExportWait(show, text); };
    Ctrl = new TFolvaneCtrl(controls, this);
    connect(Ctrl, &TFolvaneCtrl::statusMessage, SB, &QLabel::setText);
    actSizeBars->setChecked(Ctrl->SizeBars());
    connect(actSizeBars, &QAction::toggled, Ctrl, &TFolvaneCtrl::ShowSizeBars);
    Treemap->bind(Ctrl);
    // What the pointer is over shows in place of the scan's summary while it is there.
    connect(Treemap->view(), &TreemapView::entryHovered, this, [this](const QString &text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    });
    buildEntryCommands();
    const QString problem = GetConfig().loadProblem();
    if (!problem.isEmpty())
        report(problem);
    for (const QString &rangeProblem : Ctrl->loadProblems())
        report(rangeProblem);
    for (QAbstractItemView *grid : grids()) {
        try {
            Ctrl->LoadColumns(grid);
        } catch (const ConfigError &e) {
            report(e.message());
        }
    }
    pcTotal->setCurrentIndex(0);
}

void TFormMain::buildEntryCommands()
{
    Actions = new EntryActions(Ctrl, this);
    Actions->setActiveGrid(VT);
    for (QAbstractItemView *grid : grids()) {
        Actions->attach(grid);
        grid->installEventFilter(this);
    }
    // The menus' commands act on the list the user last worked in.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        for (QAbstractItemView *grid : grids()) {
            if (now == grid)
                Actions->setActiveGrid(grid);
        }
    });

    // File and Edit go before the menus the window had from the start.
    QAction *first = menuBar()->actions().value(0);
    auto *file = new QMenu(QStringLiteral("&File"), this);
    QAction *open = file->addAction(CommandIcon(Command::OpenFolder), QStringLiteral("&Open Folder..."));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &TFormMain::btnOpenClick);
    ScanFiles = new ScanFileCommands(*this, file, file->addSeparator());
    file->addAction(Actions->actRefresh);
    file->addAction(Actions->actRefreshAll);
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
    auto *edit = new QMenu(QStringLiteral("&Edit"), this);
    edit->addAction(Actions->actOpen);
    edit->addAction(Actions->actOpenContaining);
    edit->addAction(Actions->actCopyPath);
    edit->addSeparator();
    edit->addAction(Actions->actTrash);
    edit->addAction(Actions->actDelete);
    connect(Actions, &EntryActions::trashRequested, this,
        [this](QAbstractItemView *grid) { RemoveChosen(grid, false); });
    connect(Actions, &EntryActions::deleteRequested, this,
        [this](QAbstractItemView *grid) { RemoveChosen(grid, true); });
    connect(Actions, &EntryActions::refreshRequested, this,
        [this](QAbstractItemView *grid) { Refresh(grid, false); });
    connect(Actions, &EntryActions::refreshAllRequested, this, [this] { Refresh(nullptr, true); });
    menuBar()->insertMenu(first, file);
    menuBar()->insertMenu(first, edit);

    // Keys of the window: up a level, the six tabs, back from a drill-down list.
    const auto shortcut = [this](const QKeySequence &keys, auto &&slot) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence(Qt::Key_Backspace), [this] { Ctrl->GoUp(); });
    shortcut(QKeySequence(Qt::ALT | Qt::Key_Up), [this] { Ctrl->GoUp(); });
    for (int tab = 0; tab < pcTotal->count() && tab < 9; ++tab)
        shortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + tab)),
            [this, tab] { pcTotal->setCurrentIndex(tab); });
    shortcut(QKeySequence(Qt::Key_Escape), [this] {
        if (auto *stack = qobject_cast<QStackedWidget *>(pcTotal->currentWidget()))
            stack->setCurrentIndex(0);
    });

    // Every tool button says what it does, to the eye and to a screen reader, Qt's
    // own overflow and scroll buttons included.
    const std::pair<const char *, const char *> qtButtons[] = {{"qt_toolbar_ext_button", "More commands"},
        {"qt_menubar_ext_button", "More menus"}, {"ScrollLeftButton", "Scroll the tabs left"},
        {"ScrollRightButton", "Scroll the tabs right"}};
    for (QToolButton *button : findChildren<QToolButton *>()) {
        QString text = button->text().remove(QLatin1Char('&'));
        for (const auto &[name, says] : qtButtons) {
            if (text.isEmpty() && button->objectName() == QLatin1String(name))
                text = QString::fromLatin1(says);
        }
        if (button->toolTip().isEmpty())
            button->setToolTip(text);
        if (button->accessibleName().isEmpty())
            button->setAccessibleName(button->toolTip().isEmpty() ? text : button->toolTip());
    }
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // Enter opens the focused entry: a folder becomes the current one, a file opens.
    if (event->type() == QEvent::KeyPress && Ctrl) {
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *grid = qobject_cast<QAbstractItemView *>(watched);
        if (grid && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && key->modifiers() == Qt::NoModifier) {
            Ctrl->OpenFocused(grid);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::exportList(ExportFormat format, QAbstractItemView *grid)
{
    if (!Ctrl)
        return;
    if (const QString busy = busyText(); !busy.isEmpty()) {
        SB->setText(busy + QStringLiteral(": export once it has ended"));
        return;
    }
    Ctrl->ExportList(grid, format);
}

void TFormMain::showExportWait(bool show, const QString &text)
{
    if (!show) {
        WaitForm->ShowWait(false, false);
        return;
    }
    WaitForm->SetWaitText(text);
    WaitForm->ShowWait(true, false);
    // The export runs on this thread and the event loop gets no turn until it is done:
    // the dialog and its text are painted now or not at all. A window just shown is
    // drawn only once the display has mapped it, which takes a round trip or two.
    // Input waits, so nothing the user does can start a second command meanwhile.
    const QDeadlineTimer mapped(300);
    QTimer wake; // WaitForMoreEvents returns at the latest on its tick
    wake.start(10);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (WaitForm->windowHandle() && !WaitForm->windowHandle()->isExposed() && !mapped.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    WaitForm->repaint();
}

void TFormMain::report(const QString &problem)
{
    std::fprintf(stderr, "folvane: %s\n", problem.toLocal8Bit().constData());
    if (showProblem)
        showProblem(problem);
}

bool TFormMain::ScanPath(const QByteArray &folder)
{
    if (const QString busy = busyText(); !busy.isEmpty()) {
        SB->setText(busy + QStringLiteral(": %1 is not scanned").arg(QString::fromUtf8(folder)));
        return false;
    }
    if (const QString why = FolderProblem(folder); !why.isEmpty()) {
        SB->setText(QStringLiteral("Cannot scan %1: %2").arg(QString::fromUtf8(folder), why));
        return false;
    }
    Ctrl->setRootPath(QString::fromUtf8(folder)); // as the scan's paths read
    btnOpen->setEnabled(false);
    WaitForm->ShowWait(true, true);
    m_refreshing = NoNode;
    m_scan.start(folder, scanOptions());
    return true;
}

ScanOptions TFormMain::scanOptions() const
{
    ScanOptions options;
    options.oneFileSystem = actOneFileSystem->isChecked();
    options.countHardLinksOnce = actCountLinksOnce->isChecked();
    options.ranges = BoundsOf(Ctrl->ranges());
    return options;
}

void TFormMain::btnOpenClick()
{
    if (!busyText().isEmpty())
        return;
    const QString folder = ChooseFolder(this, QString());
    if (folder.isEmpty()) {
        // A cancelled choice keeps the scan, sorted again and shown from its top.
        Ctrl->ResortAndShowTop();
        emit scanShown();
        return;
    }
    WaitForm->SetWaitText(QStringLiteral("Loading info.."));
    ScanPath(QFile::encodeName(folder));
}

void TFormMain::scanFinished(const ScanResult &result, double seconds)
{
    WaitForm->ShowWait(false, false);
    btnOpen->setEnabled(true);
    if (m_refreshing != NoNode) {
        refreshFinished(result, seconds);
        return;
    }
    if (!result.tree) {
        SB->setText(
            QStringLiteral("The scan stopped: %1").arg(QString::fromLatin1(ScanStopText(result.stop))));
        return;
    }
    Ctrl->ShowScan(result.tree);
    SB->setText(scanSummary(result, seconds));
    emit scanShown();
}

bool TFormMain::RemoveChosen(QAbstractItemView *grid, bool permanently)
{
    if (!Ctrl || !Ctrl->Scan())
        return false;
    if (ScanFiles->showsStoredScan()) {
        SB->setText(StoredScanRefusal);
        return false;
    }
    if (const QString busy = busyText(); !busy.isEmpty()) {
        SB->setText(busy + QStringLiteral(": nothing is removed"));
        return false;
    }
    const CatalogTree &tree = *Ctrl->Scan();
    std::vector<NodeIndex> nodes = Ctrl->ChosenEntries(grid);
    if (nodes.empty()) {
        SB->setText(QStringLiteral("Choose the entries to remove first"));
        return false;
    }
    if (std::find(nodes.begin(), nodes.end(), tree.top()) != nodes.end()) {
        SB->setText(QStringLiteral("The scanned folder itself cannot be removed from inside its scan"));
        return false;
    }
    if (!confirmRemoval(RemovalQuestion(tree, nodes, permanently)))
        return false;

    btnOpen->setEnabled(false);
    const QString what =
        nodes.size() == 1 ? tree.fullPath(nodes.front()) : QStringLiteral("%1 entries").arg(nodes.size());
    WaitForm->SetWaitText(permanently ? QStringLiteral("Deleting %1").arg(what)
                                      : QStringLiteral("Moving %1 to the trash").arg(what));
    // No Cancel: what is confirmed is carried out (a folder cut off halfway would be
    // neither where it was nor in the trash).
    WaitForm->ShowWait(true, false);
    disconnect(&m_removal, &RemovalJob::finished, this, nullptr);
    connect(&m_removal, &RemovalJob::finished, this,
        [this, permanently](const RemovalJobResult &result) { removalFinished(result, permanently); });
    m_removal.start(Ctrl->Scan(), std::move(nodes), permanently, scanOptions());
    return true;
}

void TFormMain::removalFinished(const RemovalJobResult &result, bool permanently)
{
    WaitForm->ShowWait(false, false);
    btnOpen->setEnabled(true);
    Ctrl->RemoveFromScan(result.removal.removedNodes());
    for (const auto &[folder, fresh] : result.rescans) {
        const NodeIndex now = Ctrl->Scan()->successor(folder);
        if (now != NoNode && fresh.tree && fresh.stop != ScanStop::TopUnreadable)
            Ctrl->ReplaceInScan(now, *fresh.tree);
    }
    SB->setText(
        RemovalSummary(result.removal, permanently) + QStringLiteral("; ") + scanFigures(*Ctrl->Scan()));
    QStringList problems;
    for (const RemovalOutcome &outcome : result.removal.outcomes) {
        if (outcome.status != RemovalStatus::Removed)
            problems << OutcomeText(outcome);
    }
    emit scanShown();
    if (!problems.isEmpty())
        report(QStringLiteral("Not everything could be removed:\n\n") + problems.join(QLatin1Char('\n')));
}

QString TFormMain::busyText() const
{
    if (m_scan.isRunning())
        return QStringLiteral("A scan is running");
    if (m_removal.isRunning())
        return QStringLiteral("Entries are being removed");
    return {};
}

void TFormMain::Refresh(QAbstractItemView *grid, bool whole)
{
    if (!Ctrl || !Ctrl->Scan())
        return;
    if (ScanFiles->showsStoredScan()) {
        SB->setText(StoredScanRefusal);
        return;
    }
    if (const QString busy = busyText(); !busy.isEmpty()) {
        SB->setText(busy + QStringLiteral(": refresh once it has ended"));
        return;
    }
    const CatalogTree &tree = *Ctrl->Scan();
    NodeIndex folder = tree.top();
    if (!whole) {
        const std::vector<NodeIndex> chosen = Actions->targets(grid);
        folder = chosen.empty() ? tree.top() : chosen.front();
        if (!tree.isFolder(folder) && folder != tree.top())
            folder = tree.parent(folder);
    }
    m_refreshing = folder;
    btnOpen->setEnabled(false);
    WaitForm->SetWaitText(QStringLiteral("Reading %1 again").arg(tree.fullPath(folder)));
    WaitForm->ShowWait(true, true);
    m_scan.start(tree.fullPathBytes(folder), scanOptions());
}

void TFormMain::refreshFinished(const ScanResult &result, double seconds)
{
    const NodeIndex folder = m_refreshing;
    m_refreshing = NoNode;
    const CatalogTree &tree = *Ctrl->Scan();
    const QString path = tree.fullPath(folder);
    if (!result.tree || (!result.complete() && result.stop != ScanStop::TopUnreadable)) {
        // A refresh that did not finish changes nothing.
        SB->setText(
            QStringLiteral("Refresh of %1 %2: nothing changed")
                .arg(path,
                    result.stop == ScanStop::Cancelled ? QStringLiteral("cancelled")
                                                       : QString::fromLatin1(ScanStopText(result.stop))));
        emit scanShown();
        return;
    }
    if (result.stop == ScanStop::TopUnreadable && (result.error == ENOENT || result.error == ENOTDIR)
        && folder != tree.top()) {
        Ctrl->RemoveFromScan({folder});
        SB->setText(QStringLiteral("%1 no longer exists; ").arg(path) + scanFigures(*Ctrl->Scan()));
        emit scanShown();
        return;
    }
    Ctrl->ReplaceInScan(folder, *result.tree);
    SB->setText(QStringLiteral("Refreshed %1 in %2 s; ").arg(path, QLocale().toString(seconds, 'f', 2))
        + scanFigures(*Ctrl->Scan()));
    emit scanShown();
}

void TFormMain::btnUpClick()
{
    Ctrl->GoUp();
}

void TFormMain::m1Click()
{
    TFormAbout about(this);
    about.exec();
}

void TFormMain::m2Click()
{
    if (!OpenHelp())
        SB->setText(QStringLiteral("The help page %1 is missing or could not be opened").arg(HelpFilePath()));
}

void TFormMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent *event)
{
    if (const QString busy = busyText(); !busy.isEmpty()) {
        event->ignore();
        SB->setText(busy + QStringLiteral(": the dropped folder is not scanned"));
        return;
    }
    // Several folders: the last one is scanned; files and vanished paths are skipped.
    QByteArray folder;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QByteArray path = LocalPathBytes(url);
        if (!path.isEmpty() && FolderProblem(path).isEmpty())
            folder = NormaliseFolderBytes(path);
    }
    event->acceptProposedAction();
    if (folder.isEmpty()) {
        Ctrl->ResortAndShowTop();
        emit scanShown();
        return;
    }
    ScanPath(folder);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    m_scan.cancel();
    if (Ctrl) {
        // An export still writing is given up, and its file with it: the program ends
        // once this handler is done and leaves no half-written file behind.
        Ctrl->StopExport();
        try {
            Ctrl->SaveColumnLayout();
        } catch (const ConfigError &e) {
            report(e.message());
        }
    }
    event->accept();
}
