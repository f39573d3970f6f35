#include "ExportFormat.h"

#include "CatalogDocument.h"
#include "ExportControl.h"
#include "ExportOutput.h"
#include "ExportRows.h"
#include "TableExport.h"
#include "WorkbookExport.h"

#include <QByteArray>

#include <cerrno>
#include <iterator>
#include <new>

namespace {

using namespace Qt::StringLiterals;

// In the order of the enum.
constexpr ExportFormatTraits Traits[] = {
    {"html"_L1, "htm"_L1, "HTML File|*.htm"_L1, false, true},
    {"text"_L1, "txt"_L1, "Text File|*.txt"_L1, false, true},
    {"csv"_L1, "csv"_L1, "CSV File|*.csv"_L1, false, true},
    {"xml"_L1, "xml"_L1, "XML File|*.XML"_L1, true, true},
    {"xlsx"_L1, "xlsx"_L1, "EXCEL File|*.xlsx"_L1, true, false},
};
static_assert(std::size(Traits) == std::size(ExportFormats));

bool sameName(QByteArrayView name, QLatin1StringView known)
{
    return QLatin1StringView(name.data(), name.size()).compare(known, Qt::CaseInsensitive) == 0;
}

} // namespace

const ExportFormatTraits &TraitsOf(ExportFormat format)
{
    return Traits[int(format)];
}

std::optional<ExportFormat> ExportFormatNamed(QByteArrayView name)
{
    for (const ExportFormat format : ExportFormats) {
        const ExportFormatTraits &traits = TraitsOf(format);
        if (sameName(name, traits.name) || sameName(name, traits.extension))
            return format;
    }
    return std::nullopt;
}

QString ExportRefusal(ExportFormat format, const ExportRows &rows)
{
    if (format == ExportFormat::Workbook && !WorkbookFits(rows))
        return QString::fromLatin1(WorkbookTooManyRows);
    return QString();
}

namespace {

QString writeToFile(ExportFormat format, const ExportRows &rows, const QStringList &columns,
    const QString &title, const QString &path, ExportControl *control)
{
    switch (format) {
    case ExportFormat::Html:
        return ExportHtml(path, rows, columns, title, control);
    case ExportFormat::Text:
        return ExportText(path, rows, columns, control);
    case ExportFormat::Csv:
        return ExportCsv(path, rows, columns, control);
    case ExportFormat::Xml:
        return SaveCatalog(path, rows, control, columns);
    case ExportFormat::Workbook:
        return ExportWorkbook(path, rows, columns, title, control);
    }
    return QString();
}

QString writeToOutput(ExportFormat format, const ExportRows &rows, const QStringList &columns,
    const QString &title, ExportOutput &out, ExportControl *control)
{
    switch (format) {
    case ExportFormat::Html:
        WriteHtml(out, rows, columns, title);
        break;
    case ExportFormat::Text:
        WriteDelimited(out, rows, columns, TextSeparator);
        break;
    case ExportFormat::Csv:
        WriteDelimited(out, rows, columns, CsvSeparator);
        break;
    case ExportFormat::Xml:
        WriteCatalog(out, rows, control, columns);
        break;
    case ExportFormat::Workbook:
        return QStringLiteral("A workbook can only be written to a file.");
    }
    out.flush();
    return out.error();
}

} // namespace

// An export that runs out of memory is one that could not be written, like one that
// runs out of disk; the writers' files remove themselves as the exception passes.
QString WriteExport(ExportFormat format, const ExportRows &rows, const QStringList &columns,
    const QString &title, const QString &path, ExportControl *control)
{
    try {
        return writeToFile(format, rows, columns, title, path, control);
    } catch (const std::bad_alloc &) {
        return SafeFile::reason(ENOMEM);
    }
}

QString WriteExport(ExportFormat format, const ExportRows &rows, const QStringList &columns,
    const QString &title, ExportOutput &out, ExportControl *control)
{
    try {
        return writeToOutput(format, rows, columns, title, out, control);
    } catch (const std::bad_alloc &) {
        return SafeFile::reason(ENOMEM);
    }
}
