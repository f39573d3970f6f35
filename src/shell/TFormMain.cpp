#include "TFormMain.h"

#include "CatalogTreeModel.h"
#include "CellText.h"
#include "CommandIcons.h"
#include "ConfigError.h"
#include "ExportFile.h"
#include "FolderPicker.h"
#include "HelpPage.h"
#include "NodeListModel.h"
#include "ScanCounts.h"
#include "TConfig.h"
#include "TFolvaneCtrl.h"
#include "TFormAbout.h"
#include "TWaitForm.h"

#include <QButtonGroup>
#include <QChartView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
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

#include <cstdio>
#include <cstring>

namespace {

// What the status bar says of a finished scan.
QString scanSummary(const ScanResult &result, double seconds)
{
    const CatalogTree &tree = *result.tree;
    const ScanCounts counts = CountScan(tree);
    const QLocale locale;
    QString text =
        QStringLiteral("%1 entries (%2 files, %3 folders), %4 in %5 s")
            .arg(locale.toString(qulonglong(counts.entries)), locale.toString(qulonglong(counts.files)),
                locale.toString(qulonglong(counts.folders)), SizeCellText(double(tree.node(tree.top()).size)),
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

} // namespace

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Folvane 2.0"));
    resize(934, 490);
    setAcceptDrops(true);
    showProblem = [this](const QString &problem) {
        QMessageBox::warning(this, QStringLiteral("Folvane"), problem);
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
    scanMenu->setToolTipsVisible(true);
    connect(menu->addAction(QStringLiteral("About")), &QAction::triggered, this, &TFormMain::m1Click);
    connect(menu->addAction(QStringLiteral("Help")), &QAction::triggered, this, &TFormMain::m2Click);

    VT = makeGrid(true);
    VTList = makeGrid(false);
    VTAge = makeGrid(false);
    VTSize = makeGrid(false);
    VTType = makeGrid(false);
    m_treeModel = new CatalogTreeModel(m_icons, this);
    VT->setModel(m_treeModel);
    for (QTreeView *list : {VTList, VTAge, VTSize, VTType})
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
    pcTotal->addTab(chartPage(TypeChart, tbPieType, tbBarType, {sbTop, sbAll}, pcType, VTType),
        CommandIcon(Command::TabType), QStringLiteral("Type of Files"));
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

QTreeView *TFormMain::makeGrid(bool tree)
{
    auto *grid = new QTreeView;
    grid->setUniformRowHeights(true);
    grid->setRootIsDecorated(tree);
    grid->setItemsExpandable(tree);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setAllColumnsShowFocus(true);
    grid->setSortingEnabled(false);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->header()->setSectionsMovable(true);
    grid->header()->setStretchLastSection(false);
    grid->setIconSize(QSize(16, 16));
    return grid;
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

QToolBar *TFormMain::listToolBar(QTreeView *grid, QStackedWidget *returnTo)
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

QWidget *TFormMain::listPage(QTreeView *grid, QStackedWidget *returnTo)
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
    const QList<QToolButton *> &textButtons, QStackedWidget *stack, QTreeView *drillDown)
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
    controls.pcAge = pcAge;
    controls.pcSize = pcSize;
    controls.pcType = pcType;
    controls.XMLDoc = &XMLDoc;
    controls.ShowWait = [this](bool show, const QString &text) { showExportWait(show, text); };
    Ctrl = new TFolvaneCtrl(controls, this);
    const QString problem = GetConfig().loadProblem();
    if (!problem.isEmpty())
        report(problem);
    for (const QString &rangeProblem : Ctrl->loadProblems())
        report(rangeProblem);
    for (QTreeView *grid : {VT, VTList, VTAge, VTSize, VTType}) {
        try {
            Ctrl->LoadColumns(grid);
        } catch (const ConfigError &e) {
            report(e.message());
        }
    }
    pcTotal->setCurrentIndex(0);
}

void TFormMain::exportList(ExportFormat format, QTreeView *grid)
{
    if (Ctrl)
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

void TFormMain::ScanPath(const QString &folder)
{
    if (m_scan.isRunning())
        return;
    Ctrl->setRootPath(folder);
    btnOpen->setEnabled(false);
    WaitForm->ShowWait(true, true);
    ScanOptions options;
    options.oneFileSystem = actOneFileSystem->isChecked();
    options.countHardLinksOnce = actCountLinksOnce->isChecked();
    options.ranges = BoundsOf(Ctrl->ranges());
    m_scan.start(QFile::encodeName(folder), std::move(options));
}

void TFormMain::btnOpenClick()
{
    if (m_scan.isRunning())
        return;
    const QString folder = ChooseFolder(this, QString());
    if (folder.isEmpty()) {
        // A cancelled choice keeps the scan, sorted again and shown from its top.
        Ctrl->ResortAndShowTop();
        emit scanShown();
        return;
    }
    WaitForm->SetWaitText(QStringLiteral("Loading info.."));
    ScanPath(folder);
}

void TFormMain::scanFinished(const ScanResult &result, double seconds)
{
    WaitForm->ShowWait(false, false);
    btnOpen->setEnabled(true);
    if (!result.tree) {
        SB->setText(
            QStringLiteral("The scan stopped: %1").arg(QString::fromLatin1(ScanStopText(result.stop))));
        return;
    }
    Ctrl->ShowScan(result.tree);
    SB->setText(scanSummary(result, seconds));
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
    // Several folders: the last one is scanned; files and vanished paths are skipped.
    QString folder;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isDir())
            folder = path.size() > 1 && path.endsWith(u'/') ? path.chopped(1) : path;
    }
    event->acceptProposedAction();
    if (m_scan.isRunning())
        return;
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
