#pragma once

#include "ExportRows.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The table exports of a list: HTML, text and CSV. `rows` are the list's records in
// the order the file shows them (a tree flattened in pre-order, each folder before its
// contents); `columns` is the export column list (GetExportColumns). Each cell holds
// the record's stored text of field FieldIndexOf(column name), not the list's cell
// text: File Size exports the byte count, Size Percentage has no "%". A name that
// matches no field exports FileName under its own header.
//
// Files are UTF-8 with no byte-order mark, every line (the last included) ends with
// CR LF, and an empty list gives a file of zero bytes. The builders make the file in
// memory; the Export functions stream it to disk a few rows at a time.

// The page: a style head that declares UTF-8, the title as heading, a table with a
// header row of the column names and one row per record, rows alternating between the
// classes TrARow and TrBRow. Names and values are escaped ("&", "<", ">", both
// quotes, CR and LF), and an empty cell holds "&nbsp;". The page is one line.
QByteArray BuildHtml(const ExportRows &rows, const QStringList &columns, const QString &title);

// A header line of the column names, then one line per record, fields separated by
// `separator` (ten spaces for text, "," for CSV). A field holding the separator, a
// double quote, CR or LF, or beginning or ending with a character of the separator
// (a blank, in text), is put in double quotes with its quotes doubled (RFC 4180), so
// every line splits back into the fields as written. With no columns every line is
// empty.
QByteArray BuildDelimited(const ExportRows &rows, const QStringList &columns, const QString &separator);

class ExportOutput;

// The same files written to any output as they are made, a few rows at a time.
void WriteHtml(ExportOutput &out, const ExportRows &rows, const QStringList &columns, const QString &title);
void WriteDelimited(
    ExportOutput &out, const ExportRows &rows, const QStringList &columns, const QString &separator);

inline const QString TextSeparator = QStringLiteral("          ");
inline const QString CsvSeparator = QStringLiteral(",");

class ExportControl;

// Write the file beside `path` and rename it over `path` once complete
// (SafeFile::Replacement): the file at `path` stays as it was until then, and stays so
// when `control` asks to stop meanwhile. Return an empty text, or the reason nothing
// was written. ExportHtml's title defaults to ExportTitleOf(path).
QString ExportHtml(const QString &path, const ExportRows &rows, const QStringList &columns,
    const QString &title = QString(), const ExportControl *control = nullptr);
QString ExportText(const QString &path, const ExportRows &rows, const QStringList &columns,
    const ExportControl *control = nullptr);
QString ExportCsv(const QString &path, const ExportRows &rows, const QStringList &columns,
    const ExportControl *control = nullptr);
