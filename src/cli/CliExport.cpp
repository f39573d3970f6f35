#include "CliExport.h"

#include "CatalogFields.h"
#include "ExportColumns.h"
#include "ExportOutput.h"
#include "ExportRows.h"
#include "NodeLists.h"
#include "RangeStatistics.h"
#include "ScanReport.h"
#include "TConfig.h"
#include "TerminalText.h"
#include "TreeOrder.h"

#include <QDateTime>
#include <QFile>

#include <cstdio>
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
    const QStringList columns = GetExportColumns(GetConfig().Document().nodes(), &problem);
    if (!problem.isEmpty())
        warn(problem);
    for (const QString &column : columns) {
        if (!FieldOfColumn(column))
            warn(UnknownColumnProblem(column));
    }

    const ExportRows rows = rowsToExport(tree, options);
    if (options.toStandardOutput()) {
        // A pipe has no name to make a title of.
        static const QString Title = QStringLiteral("folvane");
        ExportOutput out(STDOUT_FILENO);
        if (const QString error = WriteExport(*options.format, rows, columns, Title, out); !error.isEmpty()) {
            std::fprintf(stderr, "folvane-cli: cannot write to standard output: %s\n",
                TerminalText(error.toUtf8()).constData());
            return ExitUnreadable;
        }
        return ExitComplete;
    }
    const QString path = QFile::decodeName(options.output);
    if (const QString error = WriteExport(*options.format, rows, columns, QString(), path);
        !error.isEmpty()) {
        std::fprintf(stderr, "folvane-cli: cannot write %s: %s\n", TerminalText(options.output).constData(),
            TerminalText(error.toUtf8()).constData());
        return ExitUnreadable;
    }
    return ExitComplete;
}
