#include "CliExport.h"

#include "CatalogDocument.h"
#include "CatalogFields.h"
#include "ExportColumns.h"
#include "ExportOutput.h"
#include "ExportRows.h"
#include "NodeLists.h"
#include "RangeStatistics.h"
#include "ScanReport.h"
#include "TableExport.h"
#include "TerminalText.h"
#include "TreeOrder.h"
#include "WorkbookExport.h"

#include <QDateTime>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {

void warn(const QString &text)
{
    std::fprintf(stderr, "folvane-cli: warning: %s\n", TerminalText(text.toUtf8()).constData());
}

ExportRows rowsToExport(const std::shared_ptr<CatalogTree> &tree, const CliExportOptions &options)
{
    TreeOrder order(*tree);
    order.sortBy(*tree, options.sortField, options.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (options.list == CliExportOptions::List::Tree)
        return ExportRows::wholeTree(tree, order);
    return ExportRows::flat(PathListRows(tree, order, tree->top()));
}

// Writes to standard output as the rows are made; the reason when it failed.
QString writeStandardOutput(const CliExportOptions &options, const ExportRows &rows, const QStringList &columns)
{
    static const QString Title = QStringLiteral("folvane");
    ExportOutput out(STDOUT_FILENO);
    switch (options.format) {
    case CliExportOptions::Format::Csv: WriteDelimited(out, rows, columns, CsvSeparator); break;
    case CliExportOptions::Format::Text: WriteDelimited(out, rows, columns, TextSeparator); break;
    case CliExportOptions::Format::Html: WriteHtml(out, rows, columns, Title); break;
    case CliExportOptions::Format::Xml: {
        CatalogDocument catalog;
        catalog.BuildCatalog(rows);
        catalog.WriteCatalog(out);
        break;
    }
    case CliExportOptions::Format::Xlsx:
    case CliExportOptions::Format::None: break;
    }
    out.flush();
    return out.error();
}

QString writeFile(const QString &path, const CliExportOptions &options, ExportRows rows, const QStringList &columns)
{
    switch (options.format) {
    case CliExportOptions::Format::Csv: return ExportCsv(path, rows, columns);
    case CliExportOptions::Format::Text: return ExportText(path, rows, columns);
    case CliExportOptions::Format::Html: return ExportHtml(path, rows, columns);
    case CliExportOptions::Format::Xml:
    case CliExportOptions::Format::Xlsx: {
        CatalogDocument catalog;
        catalog.BuildCatalog(std::move(rows));
        if (options.format == CliExportOptions::Format::Xml)
            return catalog.SaveCatalog(path);
        return ExportWorkbook(path, catalog, columns);
    }
    case CliExportOptions::Format::None: break;
    }
    return {};
}

} // namespace

bool ParseExportFormat(const QByteArray &name, CliExportOptions::Format &format)
{
    using F = CliExportOptions::Format;
    const struct { const char *name; F format; } formats[] = {
        {"csv", F::Csv}, {"text", F::Text}, {"txt", F::Text}, {"html", F::Html},
        {"htm", F::Html}, {"xml", F::Xml}, {"xlsx", F::Xlsx},
    };
    for (const auto &f : formats) {
        if (name.compare(f.name, Qt::CaseInsensitive) == 0) {
            format = f.format;
            return true;
        }
    }
    return false;
}

bool ParseExportList(const QByteArray &name, CliExportOptions::List &list)
{
    if (name == "tree")
        list = CliExportOptions::List::Tree;
    else if (name == "folder")
        list = CliExportOptions::List::Folder;
    else
        return false;
    return true;
}

bool ParseSortColumn(const QByteArray &name, int &field)
{
    const std::optional<int> found = FieldOfColumn(QString::fromUtf8(name), ColumnMatch::IgnoringBlanksAndCase);
    if (found)
        field = *found;
    return found.has_value();
}

CliExportOptions::Format FormatOfOutput(const QByteArray &output)
{
    const qsizetype dot = output.lastIndexOf('.');
    CliExportOptions::Format format = CliExportOptions::Format::None;
    if (dot >= 0 && output.indexOf('/', dot) < 0)
        ParseExportFormat(output.mid(dot + 1), format);
    return format;
}

QByteArray SortColumnNames()
{
    return QuotedFieldKeys().toUtf8();
}

int ExportScan(const std::shared_ptr<CatalogTree> &tree, const CliExportOptions &options)
{
    if (options.format == CliExportOptions::Format::None || !tree || tree->isEmpty())
        return ExitComplete;

    // The range columns and the breakdowns read the classification, as in the window.
    QStringList problems;
    const Ranges ranges = LoadRanges(&problems);
    for (const QString &problem : problems)
        warn(problem);
    ClassifyFiles(*tree, ranges, QDateTime::currentSecsSinceEpoch());

    QString problem;
    const QStringList columns = GetExportColumns(&problem);
    if (!problem.isEmpty())
        warn(problem);

    ExportRows rows = rowsToExport(tree, options);
    if (options.toStandardOutput()) {
        if (const QString error = writeStandardOutput(options, rows, columns); !error.isEmpty()) {
            std::fprintf(stderr, "folvane-cli: cannot write to standard output: %s\n",
                         TerminalText(error.toUtf8()).constData());
            return ExitUnreadable;
        }
        return ExitComplete;
    }
    const QString path = QFile::decodeName(options.output);
    if (const QString error = writeFile(path, options, std::move(rows), columns); !error.isEmpty()) {
        std::fprintf(stderr, "folvane-cli: cannot write %s: %s\n", TerminalText(options.output).constData(),
                     TerminalText(error.toUtf8()).constData());
        return ExitUnreadable;
    }
    return ExitComplete;
}
