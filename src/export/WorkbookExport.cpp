#include "WorkbookExport.h"

#include "CatalogFields.h"
#include "ExportColumns.h"
#include "ExportControl.h"
#include "QuietStderr.h"
#include "SafeFile.h"
#include "TemporaryFiles.h"

#include <QFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace {

// A cell holds at most this many characters; libxlsxwriter refuses anything longer.
constexpr qsizetype CellLimit = 32767;
// Beyond this a column is wide enough to read and narrow enough to leave room for others.
constexpr int WidthCap = 100;
// Every integer up to here is exact in a double; above it a number cell would round.
constexpr std::uint64_t ExactInteger = std::uint64_t(1) << 53;
// Significant digits a double shows back unchanged when formatted with two decimals.
constexpr int ExactDecimalDigits = 15;

constexpr char16_t ReplacementChar = 0xFFFD;

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Sizes, lengths, counts, percentages and range numbers go in as number cells.
bool isNumberField(int field)
{
    const FieldNature nature = FieldNatureOf(field);
    return nature == FieldNature::Number || nature == FieldNature::Range;
}

// ASCII digits read as an integer; none with a leading zero, which a number cell
// would drop.
std::optional<std::uint64_t> digitsOf(QStringView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits || (text.size() > 1 && text.front() == u'0'))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const QChar c : text) {
        if (!isAsciiDigit(c))
            return std::nullopt;
        value = value * 10 + std::uint64_t(c.unicode() - u'0');
    }
    return value;
}

struct Number
{
    double value;
    bool hundredths; // shown with two decimals, as the percentage text has them
};

// The number a field's text stands for, when a number cell shows exactly that text:
// a whole number up to 2^53 either way of zero, or for the percentage also digits, the locale's decimal
// separator (one character, whatever it is) and two digits.
std::optional<Number> numberOf(int field, QStringView text)
{
    if (!isNumberField(field))
        return std::nullopt;
    if (const auto whole = digitsOf(text, 16); whole && *whole <= ExactInteger)
        return Number {double(*whole), false};
    // A change of size may be negative.
    if (text.startsWith(u'-') && text != u"-0") {
        if (const auto whole = digitsOf(text.mid(1), 16); whole && *whole <= ExactInteger)
            return Number {-double(*whole), false};
    }
    if (field != SizePercentage || text.size() < 4)
        return std::nullopt;
    const QStringView fraction = text.right(2);
    QStringView integer = text.chopped(2);
    // A separator outside the Basic Multilingual Plane takes two UTF-16 units.
    const bool pair = integer.size() >= 2 && integer.back().isLowSurrogate()
        && integer[integer.size() - 2].isHighSurrogate();
    const QChar separator = integer[integer.size() - (pair ? 2 : 1)];
    integer.chop(pair ? 2 : 1);
    if (isAsciiDigit(separator))
        return std::nullopt;
    const auto units = digitsOf(integer, ExactDecimalDigits - 2);
    const auto cents = fraction.size() == 2 && isAsciiDigit(fraction[0]) && isAsciiDigit(fraction[1])
        ? std::optional<std::uint64_t>((fraction[0].unicode() - u'0') * 10 + (fraction[1].unicode() - u'0'))
        : std::nullopt;
    if (!units || !cents)
        return std::nullopt;
    // Both parts are exact integers, so the division rounds once, as reading
    // "units.cents" as a decimal would.
    return Number {double(*units * 100 + *cents) / 100.0, true};
}

// "_x" four hex digits "_" is how a workbook spells a character it cannot hold
// as it is, so such a sequence in a name must have its underscore spelled that way too.
bool startsEscapeLike(QStringView text, qsizetype i)
{
    if (i + 6 >= text.size() || text[i] != u'_' || (text[i + 1] != u'x' && text[i + 1] != u'X')
        || text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k) {
        const char16_t c = text[k].unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

struct CellText
{
    QByteArray utf8;
    int width = 0; // characters shown, capped at WidthCap
    bool cut = false; // the text was longer than a cell holds
};

// A text as a cell holds it. libxlsxwriter escapes CR and the control characters
// itself (as "_xHHHH_", which spreadsheet programs read back as the character), but
// writes U+FFFE and U+FFFF as they are, which no XML parser accepts, and stops at NUL:
// these three become U+FFFD. Texts longer than a cell holds are cut at its limit,
// counted in UTF-16 units as spreadsheet programs count them (never fewer than the
// characters libxlsxwriter counts) with the underscores spelled out; the cut never
// splits a character or a spelled-out underscore.
CellText cellTextOf(const QString &text)
{
    CellText cell;
    bool plain = text.size() <= CellLimit;
    for (qsizetype i = 0; plain && i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        plain = c != u'_' && c != 0 && c != 0xFFFE && c != 0xFFFF;
    }
    if (plain) {
        cell.utf8 = text.toUtf8();
        int shown = 0;
        for (qsizetype i = 0; i < text.size() && shown < WidthCap; ++i)
            shown += text[i].isLowSurrogate() ? 0 : 1;
        cell.width = shown;
        return cell;
    }

    QString out;
    out.reserve(std::min(text.size() + 16, CellLimit));
    int shown = 0;
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        QStringView piece(text.constData() + i, 1);
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            piece = QStringView(text.constData() + i, 2);
        const bool escape = startsEscapeLike(text, i);
        const bool invalid = c.unicode() == 0 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF;
        const qsizetype needed = escape ? 7 : invalid ? 1 : piece.size();
        if (out.size() + needed > CellLimit)
            break;
        if (escape)
            out += u"_x005F_";
        else if (invalid)
            out += QChar(ReplacementChar);
        else
            out += piece;
        i += piece.size() - 1;
        if (shown < WidthCap)
            ++shown;
    }
    cell.utf8 = out.toUtf8();
    cell.width = shown;
    cell.cut = i < text.size();
    return cell;
}

// libxlsxwriter's own texts guess at causes ("Usually a permissions error"); where a
// call of the system failed, errno still holds its reason, which libxlsxwriter itself
// prints. Callers clear errno before the call whose error this explains.
QString reasonOf(lxw_error error)
{
    const int system = errno;
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return SafeFile::reason(ENOMEM);
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
        if (system != 0)
            return SafeFile::reason(system);
        break;
    default:
        break;
    }
    return QString::fromUtf8(lxw_strerror(error));
}

// The folder that holds `file`, where libxlsxwriter keeps the rows it has streamed.
QByteArray folderOf(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : file.left(slash);
}

struct Formats
{
    lxw_format *title;
    lxw_format *header;
    lxw_format *cell;
    lxw_format *hundredths;
};

Formats addFormats(lxw_workbook *book)
{
    Formats f {};
    f.title = workbook_add_format(book);
    format_set_bold(f.title);
    format_set_align(f.title, LXW_ALIGN_CENTER);
    format_set_align(f.title, LXW_ALIGN_VERTICAL_CENTER);

    f.header = workbook_add_format(book);
    format_set_bold(f.header);
    format_set_border(f.header, LXW_BORDER_THIN);

    f.cell = workbook_add_format(book);
    format_set_border(f.cell, LXW_BORDER_THIN);

    f.hundredths = workbook_add_format(book);
    format_set_border(f.hundredths, LXW_BORDER_THIN);
    format_set_num_format(f.hundredths, "0.00");
    return f;
}

class SheetWriter
{
public:
    SheetWriter(lxw_worksheet *sheet, const Formats &formats, const QStringList &columns)
        : m_sheet(sheet), m_formats(formats), m_columns(columns), m_widths(std::size_t(columns.size()) + 1, 0)
    { }

    lxw_error title(const QString &text)
    {
        const CellText cell = cellTextOf(text);
        const lxw_col_t last = lxw_col_t(m_widths.size() - 1);
        // libxlsxwriter refuses a merge of one cell; a lone column has the plain cell.
        if (last > 0)
            return worksheet_merge_range(m_sheet, 0, 0, 0, last, cell.utf8.constData(), m_formats.title);
        if (cell.utf8.isEmpty())
            return worksheet_write_blank(m_sheet, 0, 0, m_formats.title);
        return worksheet_write_string(m_sheet, 0, 0, cell.utf8.constData(), m_formats.title);
    }

    lxw_error header(const QStringList &columns)
    {
        if (lxw_error e = text(1, 0, QStringLiteral("SerialNO"), m_formats.header))
            return e;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (lxw_error e = text(1, lxw_col_t(i + 1), columns[i], m_formats.header))
                return e;
        }
        return LXW_NO_ERROR;
    }

    lxw_error row(lxw_row_t at, std::size_t serial, const ExportRows &rows, std::size_t r,
        const std::vector<int> &fields)
    {
        if (lxw_error e = number(at, 0, Number {double(serial), false}, digitCount(serial)))
            return e;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const lxw_col_t col = lxw_col_t(i + 1);
            const int field = fields[i];
            if (field < 0) {
                if (lxw_error e = worksheet_write_blank(m_sheet, at, col, m_formats.cell))
                    return e;
                continue;
            }
            const QString value = rows.text(r, field);
            if (const auto n = numberOf(field, value)) {
                if (lxw_error e = number(at, col, *n, int(std::min<qsizetype>(value.size(), WidthCap))))
                    return e;
                continue;
            }
            if (lxw_error e = text(at, col, value, m_formats.cell))
                return e;
        }
        return LXW_NO_ERROR;
    }

    // What a reader will not find as it was: texts cut to a cell's limit.
    QString cutWarning() const
    {
        if (m_cut == 0)
            return QString();
        static_assert(CellLimit == 32767, "the text below says so");
        return QStringLiteral("%1 cut to the 32,767 characters a workbook cell holds, the first in row %2 "
                              "(column \"%3\")")
            .arg(m_cut == 1 ? QStringLiteral("1 text was") : QStringLiteral("%1 texts were").arg(m_cut))
            .arg(m_firstCutRow + 1)
            .arg(m_firstCutColumn);
    }

    lxw_error fitColumns()
    {
        for (std::size_t i = 0; i < m_widths.size(); ++i) {
            if (lxw_error e =
                    worksheet_set_column(m_sheet, lxw_col_t(i), lxw_col_t(i), m_widths[i] + 2, nullptr))
                return e;
        }
        return LXW_NO_ERROR;
    }

private:
    static int digitCount(std::size_t n)
    {
        int digits = 1;
        for (; n >= 10; n /= 10)
            ++digits;
        return digits;
    }

    void widen(lxw_col_t col, int width)
    {
        int &w = m_widths[col];
        w = std::max(w, width);
    }

    lxw_error number(lxw_row_t at, lxw_col_t col, Number n, int width)
    {
        widen(col, width);
        return worksheet_write_number(
            m_sheet, at, col, n.value, n.hundredths ? m_formats.hundredths : m_formats.cell);
    }

    lxw_error text(lxw_row_t at, lxw_col_t col, const QString &value, lxw_format *format)
    {
        if (value.isEmpty())
            return worksheet_write_blank(m_sheet, at, col, format);
        const CellText cell = cellTextOf(value);
        widen(col, cell.width);
        if (cell.cut && m_cut++ == 0) {
            m_firstCutRow = at;
            m_firstCutColumn = col == 0 ? QStringLiteral("SerialNO") : m_columns.value(col - 1);
        }
        return worksheet_write_string(m_sheet, at, col, cell.utf8.constData(), format);
    }

    lxw_worksheet *m_sheet;
    Formats m_formats;
    QStringList m_columns;
    std::vector<int> m_widths;
    std::size_t m_cut = 0;
    lxw_row_t m_firstCutRow = 0;
    QString m_firstCutColumn;
};

// A folder of the export's own beside the target for libxlsxwriter's scratch files,
// which that library makes and unlinks at once: a signal between the two would leave
// one behind, but the folder is held for the signal handler, which empties and
// removes it. Without the folder (it could not be made) the files go beside the
// target as before.
class ScratchFolder
{
public:
    explicit ScratchFolder(const QByteArray &besideTarget)
    {
        QByteArray pattern = besideTarget + "/.folvane-workbook-XXXXXX";
        const TemporaryFiles::SignalsHeld held;
        if (::mkdtemp(pattern.data())) {
            m_path = pattern;
            m_registration.holdFolder(m_path);
        }
    }
    ~ScratchFolder()
    {
        if (!m_path.isEmpty())
            TemporaryFiles::RemoveFolderAndFiles(m_path.constData());
        m_registration.release();
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const QByteArray &path() const { return m_path; }

private:
    QByteArray m_path;
    TemporaryFiles::Registration m_registration;
};

// Frees a workbook that is not to be written: its rows so far go, no file is made.
struct OpenBook
{
    lxw_workbook *book;
    ~OpenBook()
    {
        if (book)
            lxw_workbook_free(book);
    }
    lxw_error close() { return workbook_close(std::exchange(book, nullptr)); }
};

} // namespace

bool WorkbookFits(const CatalogDocument &catalog)
{
    return WorkbookFits(catalog.elements());
}

bool WorkbookFits(const ExportRows &rows)
{
    return rows.size() + 2 <= WorkbookRowLimit;
}

QString ExportWorkbook(
    const QString &path, const CatalogDocument &catalog, const QStringList &columns, const QString &title)
{
    return ExportWorkbook(path, catalog.elements(), columns, title);
}

QString ExportWorkbook(const QString &path, const ExportRows &rows, const QStringList &columns,
    const QString &title, ExportControl *control)
{
    if (!WorkbookFits(rows))
        return QString::fromLatin1(WorkbookTooManyRows);

    SafeFile::Replacement file(QFile::encodeName(path), StopFlagOf(control));
    if (!file.ok())
        return file.error();
    // What libxlsxwriter would print of its failures goes nowhere: they come back as
    // its errors, and the caller says them once.
    const QuietStderr quiet;

    // The streamed rows wait beside the target, not in /tmp, which may live in memory.
    QByteArray folder = folderOf(file.temporaryPath());
    const ScratchFolder scratch(folder);
    if (!scratch.path().isEmpty())
        folder = scratch.path();
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = folder.data();
    options.use_zip64 = LXW_FALSE;
    OpenBook book {workbook_new_opt(file.temporaryPath().constData(), &options)};
    if (!book.book)
        return reasonOf(LXW_ERROR_MEMORY_MALLOC_FAILED);
    // The rows are streamed to a file of the sheet's own, made here.
    errno = 0;
    lxw_worksheet *sheet = workbook_add_worksheet(book.book, nullptr);
    if (!sheet)
        return reasonOf(LXW_ERROR_CREATING_TMPFILE);

    std::vector<int> fields;
    fields.reserve(std::size_t(columns.size()));
    for (const QString &column : columns)
        fields.push_back(CatalogDocument::WalkFieldOf(column));

    SheetWriter writer(sheet, addFormats(book.book), columns);
    if (lxw_error e = writer.title(title.isEmpty() ? ExportTitleOf(path) : title))
        return reasonOf(e);
    if (lxw_error e = writer.header(columns))
        return reasonOf(e);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (!file.proceed())
            return file.error();
        if (lxw_error e = writer.row(lxw_row_t(r + 2), r + 1, rows, r, fields))
            return reasonOf(e);
    }
    if (lxw_error e = writer.fitColumns())
        return reasonOf(e);

    // libxlsxwriter does not look at its own writes of the streamed rows; a full disk
    // would otherwise give a workbook with rows missing.
    if (FILE *streamed = sheet->optimize_tmpfile) {
        if (std::fflush(streamed) != 0)
            return SafeFile::reason(errno);
        if (std::ferror(streamed))
            return SafeFile::reason(EIO);
    }

    errno = 0;
    if (lxw_error e = book.close())
        return reasonOf(e);
    QString error = file.commit();
    if (const QString cut = writer.cutWarning(); error.isEmpty() && control && !cut.isEmpty())
        control->warn(cut);
    return error;
}
