#include "ScanFileCommands.h"

#include "RangeStatistics.h"
#include "ScanCompare.h"
#include "ScanCounts.h"
#include "ScanFileWriter.h"
#include "ScanMerge.h"
#include "TFolvaneCtrl.h"
#include "TFormMain.h"
#include "TWaitForm.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>

#include <utility>
#include <vector>

namespace {

const QString FileFilter = QStringLiteral("Scan files (*.json *.json.gz *.gz);;All files (*)");

} // namespace

ScanFileCommands::ScanFileCommands(TFormMain &window, QMenu *file, QAction *before)
    : QObject(&window), m_window(window)
{
    actOpen = new QAction(QStringLiteral("Open &Scan..."), this);
    actOpen->setToolTip(QStringLiteral("Open scan files saved by Folvane, ncdu or gdu (several are merged)"));
    actCompare = new QAction(QStringLiteral("&Compare With..."), this);
    actCompare->setToolTip(QStringLiteral("Compare the scan shown with an earlier scan file"));
    actSave = new QAction(QStringLiteral("Save Sc&an..."), this);
    actSave->setToolTip(QStringLiteral("Save the scan shown as a scan file (.json, .json.gz)"));
    actHideRemoved = new QAction(QStringLiteral("&Hide Removed Entries"), this);
    actHideRemoved->setCheckable(true);
    actHideRemoved->setToolTip(QStringLiteral("In a comparison, leave out what only the earlier scan has"));
    file->insertAction(before, actOpen);
    file->insertAction(before, actCompare);
    file->insertAction(before, actHideRemoved);
    file->insertAction(before, actSave);
    file->insertSeparator(before);

    connect(actOpen, &QAction::triggered, this, [this] {
        const QStringList paths =
            QFileDialog::getOpenFileNames(&m_window, QStringLiteral("Open Scan"), QString(), FileFilter);
        if (!paths.isEmpty())
            OpenScans(paths);
    });
    connect(actCompare, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            &m_window, QStringLiteral("Compare With an Earlier Scan"), QString(), FileFilter);
        if (!path.isEmpty())
            CompareWith(path);
    });
    connect(actSave, &QAction::triggered, this, [this] {
        if (!m_window.Ctrl || !m_window.Ctrl->Scan())
            return;
        const QString path = QFileDialog::getSaveFileName(
            &m_window, QStringLiteral("Save Scan"), QStringLiteral("scan.json.gz"), FileFilter);
        if (path.isEmpty())
            return;
        const QString problem = SaveScan(path);
        if (!problem.isEmpty())
            m_window.showProblem(problem);
    });
    connect(actHideRemoved, &QAction::toggled, this, [this] {
        if (showsStoredScan() && m_earlier && !m_window.isScanning()) {
            m_reading = QStringLiteral("the comparison");
            compare(m_later, m_earlier);
        }
    });
    connect(&m_window.scanJob(), &ScanJob::opened, this, &ScanFileCommands::opened);
}

ScanFileOptions ScanFileCommands::readOptions() const
{
    ScanFileOptions options;
    options.countHardLinksOnce = m_window.actCountLinksOnce->isChecked();
    options.ranges = BoundsOf(m_window.Ctrl->ranges());
    return options;
}

bool ScanFileCommands::showsStoredScan() const
{
    return m_stored && m_window.Ctrl && m_window.Ctrl->Scan() == m_stored;
}

QString ScanFileCommands::SaveScan(const QString &path)
{
    const std::shared_ptr<const CatalogTree> tree = m_window.Ctrl ? m_window.Ctrl->Scan() : nullptr;
    if (!tree)
        return QStringLiteral("There is no scan to save");
    m_window.WaitForm->SetWaitText(QStringLiteral("Saving %1").arg(path));
    m_window.WaitForm->ShowWait(true, false);
    const QString error = WriteScanFile(*tree, QFile::encodeName(path));
    m_window.WaitForm->ShowWait(false, false);
    if (!error.isEmpty())
        return QStringLiteral("%1 could not be saved: %2").arg(path, error);
    m_window.SB->setText(QStringLiteral("Saved the scan as %1").arg(path));
    return QString();
}

void ScanFileCommands::OpenScans(const QStringList &paths)
{
    if (m_window.isScanning() || paths.isEmpty())
        return;
    const ScanFileOptions options = readOptions();
    m_readingEarlier = nullptr;
    m_reading = paths.size() == 1 ? paths.front() : QStringLiteral("%1 scan files").arg(paths.size());
    m_window.WaitForm->SetWaitText(QStringLiteral("Opening %1").arg(m_reading));
    m_window.WaitForm->ShowWait(true, true);
    m_window.scanJob().startReading([paths, options](const std::atomic<bool> *cancel) {
        ScanFileOptions own = options;
        own.cancel = cancel;
        std::vector<MergedScan> scans;
        for (const QString &path : paths) {
            const QByteArray file = QFile::encodeName(path);
            ScanFileResult read = ReadScanFile(file, own);
            if (!read.tree || paths.size() == 1)
                return read;
            const QByteArray top = read.tree->nameBytes(read.tree->top()).toByteArray();
            scans.push_back({read.tree, ScanLabel(read.metadata.hostname, file, top)});
        }
        ScanFileResult merged;
        merged.tree = MergeScans(scans, own.ranges);
        return merged;
    });
}

void ScanFileCommands::CompareWith(const QString &path)
{
    const std::shared_ptr<const CatalogTree> later = m_window.Ctrl ? m_window.Ctrl->Scan() : nullptr;
    if (m_window.isScanning() || !later)
        return;
    m_reading = path;
    m_window.WaitForm->SetWaitText(QStringLiteral("Comparing with %1").arg(path));
    compare(later, nullptr);
}

// Compares `later` with `earlier`, or with the scan file m_reading names when there
// is none yet, on the scan thread.
void ScanFileCommands::compare(
    std::shared_ptr<const CatalogTree> later, std::shared_ptr<const CatalogTree> earlier)
{
    const ScanFileOptions options = readOptions();
    const bool hide = actHideRemoved->isChecked();
    const QString path = m_reading;
    auto readInto = std::make_shared<std::shared_ptr<CatalogTree>>();
    m_readingEarlier = readInto;
    m_later = later;
    m_window.WaitForm->ShowWait(true, true);
    // The scans are only read meanwhile: the window changes a scan on its own thread,
    // and not while a job runs.
    m_window.scanJob().startReading([=](const std::atomic<bool> *cancel) {
        ScanFileOptions own = options;
        own.cancel = cancel;
        ScanFileResult compared;
        if (earlier) {
            compared.tree = CompareScans(*later, *earlier, {hide, own.ranges});
            *readInto = std::const_pointer_cast<CatalogTree>(earlier);
            return compared;
        }
        ScanFileResult read = ReadScanFile(QFile::encodeName(path), own);
        if (!read.tree)
            return read;
        *readInto = read.tree;
        compared.tree = CompareScans(*later, *read.tree, {hide, own.ranges});
        return compared;
    });
}

void ScanFileCommands::opened(const ScanFileResult &result, double seconds)
{
    m_window.WaitForm->ShowWait(false, false);
    // The job has ended: what it read is there to take.
    const std::shared_ptr<std::shared_ptr<CatalogTree>> earlier = std::exchange(m_readingEarlier, nullptr);
    if (!result.tree) {
        if (result.cancelled)
            m_window.SB->setText(QStringLiteral("Cancelled: %1 is not shown").arg(m_reading));
        else
            m_window.showProblem(result.error);
        emit done();
        return;
    }
    m_earlier = earlier ? *earlier : nullptr;
    if (!m_earlier)
        m_later = nullptr;
    m_stored = result.tree;
    m_window.Ctrl->ShowScan(result.tree);
    const ScanCounts counts = CountScan(*result.tree);
    const QLocale locale;
    QString text =
        QStringLiteral("%1 in %2 s: %3 entries (%4 files, %5 folders), %6 bytes")
            .arg(m_reading, locale.toString(seconds, 'f', 2), locale.toString(qulonglong(counts.entries)),
                locale.toString(qulonglong(counts.files)), locale.toString(qulonglong(counts.folders)),
                locale.toString(qulonglong(result.tree->node(result.tree->top()).size)));
    if (const ScanComparison *c = result.tree->comparison())
        text = QStringLiteral("Compared with ") + text
            + QStringLiteral(", %1 bytes since").arg(locale.toString(qlonglong(c->sizeChange[0])));
    else
        text = QStringLiteral("Opened ") + text;
    m_window.SB->setText(text);
    emit m_window.scanShown();
    emit done();
}
