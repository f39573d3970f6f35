#include "TFileInfo.h"

#include "ExportColumns.h"
#include "ExportFile.h"
#include "TableExport.h"
#include "WorkbookExport.h"

#include <QEventLoop>
#include <QMetaObject>

#include <thread>
#include <utility>

TFileInfo::TFileInfo(QWidget *parent, CatalogDocument &xmlDoc, RowsFunction rows, ShowWaitFunction showWait)
    : XMLDoc(xmlDoc)
    , m_parent(parent)
    , m_rows(std::move(rows))
    , m_showWait(std::move(showWait))
{
    // A column entry that cannot be read was reported when the lists took their
    // columns at start; the export goes on with the columns that can be read.
    QString problem;
    m_columns = GetExportColumns(&problem);
}

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
                          const std::function<QString(const QString &path, const ExportRows &rows)> &write,
                          bool needsRows)
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
    if (!reason.isEmpty()) {
        ReportExportFailed(m_parent, path, reason);
        return false;
    }
    return true;
}

bool TFileInfo::ExportToHtml()
{
    return WriteFile(QStringLiteral(".htm"), QStringLiteral("HTML File|*.htm"),
                     [this](const QString &path, const ExportRows &rows) { return ExportHtml(path, rows, m_columns); });
}

bool TFileInfo::ExportToText()
{
    return WriteFile(QStringLiteral(".txt"), QStringLiteral("Text File|*.txt"),
                     [this](const QString &path, const ExportRows &rows) { return ExportText(path, rows, m_columns); });
}

bool TFileInfo::ExportToCsv()
{
    return WriteFile(QStringLiteral(".csv"), QStringLiteral("CSV File|*.csv"),
                     [this](const QString &path, const ExportRows &rows) { return ExportCsv(path, rows, m_columns); });
}

bool TFileInfo::ExportToXml()
{
    GatherCatalog();
    return WriteFile(QStringLiteral(".xml"), QStringLiteral("XML File|*.XML"),
                     [this](const QString &path, const ExportRows &) { return XMLDoc.SaveCatalog(path); }, false);
}

bool TFileInfo::ExportToExcel()
{
    GatherCatalog();
    if (!WorkbookFits(XMLDoc)) {
        ReportExportWarning(m_parent, QString::fromLatin1(WorkbookTooManyRows));
        return false;
    }
    return WriteFile(QStringLiteral(".xlsx"), QStringLiteral("EXCEL File|*.xlsx"),
                     [this](const QString &path, const ExportRows &) { return ExportWorkbook(path, XMLDoc, m_columns); },
                     false);
}
