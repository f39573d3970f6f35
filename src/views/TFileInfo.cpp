#include "TFileInfo.h"

#include "ExportFile.h"

#include <QEventLoop>
#include <QMetaObject>

#include <thread>
#include <utility>

TFileInfo::TFileInfo(QWidget *parent, CatalogDocument &xmlDoc, QStringList columns, RowsFunction rows,
    ShowWaitFunction showWait)
    : XMLDoc(xmlDoc), m_parent(parent), m_rows(std::move(rows)), m_showWait(std::move(showWait)),
      m_columns(std::move(columns))
{ }

ExportRows TFileInfo::takeRows()
{
    return m_rows ? m_rows() : ExportRows();
}

void TFileInfo::GatherCatalog()
{
    XMLDoc.ResetCatalog();
    if (m_showWait)
        m_showWait(true, QStringLiteral("Gathering info.."));
    XMLDoc.BuildCatalog(takeRows());
    // Down again before the file dialog: a dialog that stays on top of the file
    // choice would hide it.
    if (m_showWait)
        m_showWait(false, QString());
}

bool TFileInfo::WriteFile(const QString &defaultExtension, const QString &filter,
    const std::function<QString(const QString &path, const ExportRows &rows)> &write, bool needsRows)
{
    const QString path = ChooseExportFile(m_parent, defaultExtension, filter);
    if (path.isEmpty())
        return false;
    if (m_showWait)
        m_showWait(true, QStringLiteral("Export to file.."));
    // The rows are taken here, from the lists; from then on the writer reads only
    // its own copy and the scan (which never changes), so it runs on a thread of its
    // own while this one keeps the window painted. Input waits for it to finish.
    const ExportRows rows = needsRows ? takeRows() : ExportRows();
    QString reason;
    QEventLoop loop;
    std::thread writer([&] {
        reason = write(path, rows);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    writer.join();
    if (m_showWait)
        m_showWait(false, QString());
    if (m_control.stopRequested())
        return false;
    if (!reason.isEmpty()) {
        ReportExportFailed(m_parent, path, reason);
        return false;
    }
    for (const QString &warning : m_control.warnings())
        ReportExportWarning(m_parent, warning);
    return true;
}

bool TFileInfo::Export(ExportFormat format)
{
    const ExportFormatTraits &traits = TraitsOf(format);
    if (!traits.fromCatalog) {
        return WriteFile(
            traits.extension, traits.filter, [this, format](const QString &path, const ExportRows &rows) {
                return WriteExport(format, rows, m_columns, QString(), path, &m_control);
            });
    }
    GatherCatalog();
    // Only a catalog is known before the file choice; a list's rows are taken after it.
    if (const QString refusal = ExportRefusal(format, XMLDoc.elements()); !refusal.isEmpty()) {
        ReportExportWarning(m_parent, refusal);
        return false;
    }
    return WriteFile(
        traits.extension, traits.filter,
        [this, format](const QString &path, const ExportRows &) {
            return WriteExport(format, XMLDoc.elements(), m_columns, QString(), path, &m_control);
        },
        false);
}
