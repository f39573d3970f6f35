#include "CliExport.h"

#include "CatalogFields.h"
#include "ExportColumns.h"
#include "ExportControl.h"
#include "ExportOutput.h"
#include "ExportRows.h"
#include "NodeLists.h"
#include "RangeStatistics.h"
#include "SafeFile.h"
#include "ScanReport.h"
#include "TConfig.h"
#include "TerminalText.h"
#include "TreeOrder.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <new>
#include <unistd.h>

namespace {

void warn(const QString &text)
{
    std::fprintf(stderr, "folvane-cli: warning: %s\n", TerminalText(text.toUtf8()).constData());
}

ExportRows rowsToExport(const std::shared_ptr<const CatalogTree> &tree, const CliExportOptions &options)
{
    TreeOrder order(*tree);
    order.sortBy(*tree, options.sortField, options.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (options.list == CliExportOptions::List::Tree)
        return ExportRows::wholeTree(tree, order);
    return ExportRows::flat(PathListRows(tree, order, tree->top()));
}

} // namespace

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
    const std::optional<int> found =
        FieldOfColumn(QString::fromUtf8(name), ColumnMatch::IgnoringBlanksAndCase);
    if (found)
        field = *found;
    return found.has_value();
}

std::optional<ExportFormat> FormatOfOutput(const QByteArray &output)
{
    const qsizetype dot = output.lastIndexOf('.');
    if (dot >= 0 && output.indexOf('/', dot) < 0)
        return ExportFormatNamed(output.mid(dot + 1));
    return std::nullopt;
}

bool IsScanFileName(const QByteArray &output)
{
    return output.endsWith(".json") || output.endsWith(".json.gz");
}

QByteArray SortColumnNames()
{
    return QuotedFieldKeys().toUtf8();
}

int ExportScan(const std::shared_ptr<const CatalogTree> &tree, const CliExportOptions &options,
    const QStringList &rangeProblems)
{
    if (!options.format || !tree || tree->isEmpty())
        return ExitComplete;

    for (const QString &problem : rangeProblems)
        warn(problem);

    QString problem;
    QStringList columns = GetExportColumns(GetConfig().Document().nodes(), &problem);
    AddComparisonColumns(columns, *tree);
    if (!problem.isEmpty())
        warn(problem);
    for (const QString &column : columns) {
        if (!FieldOfColumn(column))
            warn(UnknownColumnProblem(column));
    }

    const QByteArray target =
        options.toStandardOutput() ? QByteArrayLiteral("to standard output") : TerminalText(options.output);
    ExportControl control;
    QString error;
    // The rows in order take memory too: running out of it is a failure of this file.
    try {
        const ExportRows rows = rowsToExport(tree, options);
        if (options.toStandardOutput()) {
            // A pipe has no name to make a title of.
            static const QString Title = QStringLiteral("folvane");
            ExportOutput out(STDOUT_FILENO);
            error = WriteExport(*options.format, rows, columns, Title, out, &control);
        } else {
            error = WriteExport(
                *options.format, rows, columns, QString(), QFile::decodeName(options.output), &control);
        }
    } catch (const std::bad_alloc &) {
        error = SafeFile::reason(ENOMEM);
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "folvane-cli: cannot write %s: %s\n", target.constData(),
            TerminalText(error).constData());
        return ExitUnreadable;
    }
    for (const QString &warning : control.warnings())
        warn(warning);
    return ExitComplete;
}
