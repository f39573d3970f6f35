#pragma once

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <optional>

class ExportOutput;
class ExportRows;

// Every file a list can be exported as. The window's tool bars and folvane-cli's
// --format name the same five, and each goes to its writer through WriteExport only.
enum class ExportFormat {
    Html,
    Text,
    Csv,
    Xml,
    Workbook
};

inline constexpr ExportFormat ExportFormats[] = {
    ExportFormat::Html,
    ExportFormat::Text,
    ExportFormat::Csv,
    ExportFormat::Xml,
    ExportFormat::Workbook,
};

struct ExportFormatTraits
{
    // What --format calls it ("html").
    QLatin1StringView name;
    // The extension a file of it gets by default ("htm", no dot); --format and the
    // name given to --output take it as well as `name`.
    QLatin1StringView extension;
    // The window's save dialog offer: description and pattern ("HTML File|*.htm").
    QLatin1StringView filter;
    // Written from the catalog the XML and workbook exports share; the window
    // gathers that before the file is chosen and keeps it afterwards.
    bool fromCatalog;
    // Can be written as it is made to an output that cannot seek (a pipe): a
    // workbook is a zip package, whose directory comes last.
    bool streams;
};

const ExportFormatTraits &TraitsOf(ExportFormat format);

// The format of a --format value or of an extension: any case, either its name or
// its extension ("HTM" and "html" are both Html).
std::optional<ExportFormat> ExportFormatNamed(QByteArrayView name);

// Why `rows` cannot be written as `format` at all, whatever the file: empty, or
// WorkbookTooManyRows for a workbook beyond one sheet. Lets a caller refuse before
// asking for a file; WriteExport refuses the same way.
QString ExportRefusal(ExportFormat format, const ExportRows &rows);

class ExportControl;

// Writes `rows` as `format` with `columns` beside `path` and renames the file over
// `path` once complete, so the old file stays as it was until then. `title` heads the
// HTML page and the workbook; empty means ExportTitleOf(path). Returns an empty text
// or the reason nothing was written: running out of memory is one such reason
// ("Cannot allocate memory"), and so is a stop that `control` asked for. What a reader
// of the written file will not get as it was is told in `control`'s warnings: cell
// texts a workbook cut, a catalog too deep for libxml2's readers.
QString WriteExport(ExportFormat format, const ExportRows &rows, const QStringList &columns,
    const QString &title, const QString &path, ExportControl *control = nullptr);

// The same bytes written to `out` as they are made, `title` as it is, then flushed.
// Returns out.error(), or, for a format that does not stream, the reason nothing was
// written.
QString WriteExport(ExportFormat format, const ExportRows &rows, const QStringList &columns,
    const QString &title, ExportOutput &out, ExportControl *control = nullptr);
