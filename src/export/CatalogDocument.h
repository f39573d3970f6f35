#pragma once

#include "ExportRows.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>
#include <cstdint>

class ExportOutput;

// The catalog that the XML and workbook exports share: the exported list as nested
// `file` elements under a root `fileinfo`, one element per record, each with one
// attribute per non-empty field in field order (FileName, FullPath, FileBytes, ...):
// the record's fields always, a field added after them (DiskUsage) when a column of
// the export shows it.
// It is kept as the list's rows and depths, a few bytes an element, never as a tree
// of XML nodes: SaveCatalog streams the document to disk, and the workbook walks the
// same rows in the same order. It holds whatever list was built last.
class CatalogDocument
{
public:
    // Empties the catalog: a root with its `generated` attribute and no elements.
    void ResetCatalog() { m_rows = ExportRows(); }
    void BuildCatalog(ExportRows rows) { m_rows = std::move(rows); }

    // The number of `file` elements below the root, at any depth.
    std::size_t CountElements() const { return m_rows.size(); }
    // The elements in the order of the catalog walk: each before its children.
    const ExportRows &elements() const { return m_rows; }

    // Writes the document (UTF-8, declaration version 1.0, standalone) beside `path`
    // and renames it over `path` once complete. Characters XML cannot hold (control
    // characters, U+FFFE, U+FFFF) are written as U+FFFD, so the file is always
    // well-formed; tab, CR and LF are written as character references so that they
    // read back unchanged from an attribute. Returns an empty text or the reason.
    QString SaveCatalog(const QString &path) const;
    // The same document written to any output as it is made.
    void WriteCatalog(ExportOutput &out) const;
    // The same document in memory.
    QByteArray toXml() const;

    // The field a column of the export column list reads in the catalog walk: the
    // field whose key equals the column name once all blanks are removed from both
    // ("FileNameLength" and "File Name Length" both read field 6; "file name length"
    // reads nothing). -1 when no key matches.
    static int WalkFieldOf(QStringView column);
    // The attribute that holds field 0 to 19 ("FileBytes" for the file size).
    static const char *AttributeOf(int field);

private:
    ExportRows m_rows;
};

class ExportControl;

// The document of `rows` as a catalog holding them would write it, without the copy
// of the rows that building one takes. A catalog deeper than CatalogReadableDepth is
// written nested as it is, with a warning to `control`; SaveCatalog stops when
// `control` asks.
void WriteCatalog(ExportOutput &out, const ExportRows &rows, ExportControl *control = nullptr,
    const QStringList &columns = {});
QString SaveCatalog(const QString &path, const ExportRows &rows, ExportControl *control = nullptr,
    const QStringList &columns = {});

// The deepest level below the top that XML readers built on libxml2 (xmllint, and the
// XML libraries of many languages) read by default: below the root, they take `file`
// elements nested 256 deep, no more, unless told to accept huge documents
// (xmllint --huge).
inline constexpr std::uint32_t CatalogReadableDepth = 255;

// The value of the root's `generated` attribute: who made the file.
inline constexpr char CatalogGenerator[] = "Folvane";
