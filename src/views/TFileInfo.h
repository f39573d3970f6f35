#pragma once

#include "CatalogDocument.h"
#include "ExportControl.h"
#include "ExportFormat.h"
#include "ExportRows.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// One export command of one list: the export column list the command was given, the
// list's rows, and the catalog the XML and workbook exports share. Export asks for
// the file, shows the wait dialog while it writes and returns true once the file is
// written, after a warning for anything of it a reader will not get as it was;
// false when the user chose no file (said to nobody), the file could not be written
// (said, with the file and the reason) or Stop() ended the writing (said to nobody:
// the program is quitting). "Export Finished" is the caller's, so that a command made
// of several steps says it once.
class TFileInfo
{
public:
    // show: bring the wait dialog up, without Cancel, with `text` as its status line;
    // !show: take it down.
    using ShowWaitFunction = std::function<void(bool show, const QString &text)>;
    // The rows of the list, asked for at most once, when they are needed: after the
    // file choice for the table writers, so that a cancelled choice costs nothing.
    using RowsFunction = std::function<ExportRows()>;

    TFileInfo(QWidget *parent, CatalogDocument &xmlDoc, QStringList columns, RowsFunction rows,
        ShowWaitFunction showWait);

    // For the formats written from the catalog (XML, workbook), the catalog is gathered
    // into XMLDoc before the file is chosen and stays there, whatever the choice; one
    // the format cannot hold (too long for one sheet) is refused before any file is
    // chosen.
    bool Export(ExportFormat format);
    // Ends the writing under way, if any, without a file; from the window's thread
    // while Export waits for its writer (the window closing).
    void Stop() { m_control.stop(); }

    const QStringList &columns() const { return m_columns; }

    CatalogDocument &XMLDoc;

private:
    void GatherCatalog();
    // The frame of every writer: the file choice, the wait dialog, the report of a
    // failure or of the writer's warnings. `write` runs on a thread of its own with the
    // list's rows (taken after the file choice when `needsRows`) and returns an empty
    // text or the reason.
    bool WriteFile(const QString &defaultExtension, const QString &filter,
        const std::function<QString(const QString &path, const ExportRows &rows)> &write,
        bool needsRows = true);
    ExportRows takeRows();

    QWidget *m_parent;
    RowsFunction m_rows;
    ShowWaitFunction m_showWait;
    QStringList m_columns;
    ExportControl m_control;
};
