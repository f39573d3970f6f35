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
    file->insertAction(before, actOpen);
    file->insertAction(before, actCompare);
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
    const ScanFileOptions options = readOptions();
    m_reading = path;
    m_window.WaitForm->SetWaitText(QStringLiteral("Comparing with %1").arg(path));
    m_window.WaitForm->ShowWait(true, true);
    // The scan shown is only read meanwhile: the window changes it on its own thread,
    // and not while a job runs.
    m_window.scanJob().startReading([path, options, later](const std::atomic<bool> *cancel) {
        ScanFileOptions own = options;
        own.cancel = cancel;
        ScanFileResult earlier = ReadScanFile(QFile::encodeName(path), own);
        if (!earlier.tree)
            return earlier;
        ScanFileResult compared;
        compared.tree = CompareScans(*later, *earlier.tree, {false, own.ranges});
        return compared;
    });
}

void ScanFileCommands::opened(const ScanFileResult &result, double seconds)
{
    m_window.WaitForm->ShowWait(false, false);
    if (!result.tree) {
        m_window.showProblem(result.error);
        emit done();
        return;
    }
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
