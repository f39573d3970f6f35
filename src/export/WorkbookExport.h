#pragma once

#include "CatalogDocument.h"

class ExportControl;

#include <QString>
#include <QStringList>

#include <cstddef>

// The rows a sheet of a workbook (.xlsx) can hold, the title row included.
inline constexpr std::size_t WorkbookRowLimit = 1048576;
inline constexpr char WorkbookTooManyRows[] = "The row count is out of excel range.";

// Whether the catalog fits one sheet: its elements, the header row and the title row.
bool WorkbookFits(const CatalogDocument &catalog);
bool WorkbookFits(const ExportRows &rows);

// Writes the catalog as a workbook of one sheet (libxlsxwriter; no spreadsheet
// program needed), beside `path` and renamed over it once complete:
//  - row 1: `title` in A1, merged across every column, bold, centred both ways;
//  - row 2: "SerialNO", then the names of `columns` as given;
//  - one row per element in the catalog walk's order: its serial number (1, 2, ...
//    across all levels), then for each column the value the walk gives
//    (CatalogDocument::WalkFieldOf), empty when the field is missing or unknown;
//  - continuous borders on every cell of rows 2 onward, columns fitted to their text.
// Values of number fields (sizes, lengths, counts, percentages, range numbers) that
// read back exactly as numbers are written as numbers, everything else as text (never
// as a formula). A text keeps at most the 32,767 characters a cell holds (a Full Path
// can be longer: `control` is then warned once, with the count); CR and
// control characters are kept in the workbook's own "_xHHHH_" spelling, while U+FFFE,
// U+FFFF and NUL, which a workbook cannot hold at all, are written as U+FFFD.
// Rows are streamed (libxlsxwriter's constant-memory mode). An empty `title` means
// ExportTitleOf(path). Returns an empty text or the reason (the system's, where a
// call of the system failed); a catalog that does not fit (WorkbookFits) writes
// nothing and returns WorkbookTooManyRows. Stops when `control` asks.
QString ExportWorkbook(const QString &path, const CatalogDocument &catalog, const QStringList &columns,
    const QString &title = QString());
// The same workbook of the rows a catalog would hold, without building one.
QString ExportWorkbook(const QString &path, const ExportRows &rows, const QStringList &columns,
    const QString &title = QString(), ExportControl *control = nullptr);
