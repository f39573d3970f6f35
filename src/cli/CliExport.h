#pragma once

#include "CatalogTree.h"
#include "ExportFormat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// What folvane-cli exports after its scan (--format, --output, --list, --sort,
// --descending).
struct CliExportOptions
{
    enum class List {
        Tree,
        Folder
    };

    std::optional<ExportFormat> format; // none: no list is exported
    bool scanFile = false; // --format ncdu: the whole scan is saved as a scan file instead
    QByteArray output; // empty or "-": standard output
    List list = List::Tree;
    int sortField = 0; // FileName, folders first
    bool descending = false;

    bool toStandardOutput() const { return output.isEmpty() || output == "-"; }
};

// Readers of the option values; false when the value is not one of the known ones.
// --format takes what ExportFormatNamed knows.
bool ParseExportList(const QByteArray &name, CliExportOptions::List &list);
// A column name such as "File Size" (any case, blanks optional): its field.
bool ParseSortColumn(const QByteArray &name, int &field);
// The format an output name implies by its extension (.csv .txt .htm .html .xml .xlsx).
std::optional<ExportFormat> FormatOfOutput(const QByteArray &output);
// Whether an output name is that of a scan file (.json, .json.gz).
bool IsScanFileName(const QByteArray &output);
// The names --sort accepts, for the usage text and its errors.
QByteArray SortColumnNames();

// Orders the chosen list of a scan and writes it; the scan classified its files as it
// ended (ScanOptions::ranges), and `rangeProblems`, what reading the ranges met, are
// warned of here, after the scan's report. A file is
// written beside its name and renamed over it once complete, so a failed export leaves
// nothing new behind and the old file as it was. Returns an exit status: 0, after the
// writer's warnings about the file (cut workbook cells, a catalog too deep for some
// readers), or 1 after one line on standard error naming the output and the reason,
// running out of memory included.
int ExportScan(const std::shared_ptr<const CatalogTree> &tree, const CliExportOptions &options,
    const QStringList &rangeProblems = {});
