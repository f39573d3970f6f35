#include "WorkbookExport.h"

#include "CatalogFields.h"
#include "ExportControl.h"
#include "LocaleAndZone.h"
#include "RowsOf.h"
#include "TCatalogNode.h"
#include "TreeBuilder.h"
#include "TreeOrder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

// Failed comparisons show the texts, not their UTF-16 units.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The interpreter that can read workbooks back: the first python3 with openpyxl.
// A python3 of a version manager may come first on the PATH without the system's
// packages, so the system's own is tried too.
const QString &Python()
{
    static const QString found = [] {
        for (const QString &candidate : {u"python3"_qs, u"/usr/bin/python3"_qs}) {
            QProcess probe;
            probe.start(candidate, {u"-c"_qs, u"import openpyxl"_qs});
            if (probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit
                && probe.exitCode() == 0)
                return candidate;
        }
        return QString();
    }();
    return found;
}

#define SKIP_WITHOUT_OPENPYXL()                                                                              \
    if (Python().isEmpty())                                                                                  \
    GTEST_SKIP() << "reading workbooks back needs python3 with openpyxl (Debian: python3-openpyxl)"

// What tests/export/read_workbook.py reports of a workbook; empty when it could not
// be read, with the reason in `problem`.
QJsonObject ReadWorkbook(const QString &path, std::string *problem = nullptr)
{
    QProcess reader;
    reader.start(Python(), {QStringLiteral(FOLVANE_EXPORT_TEST_DIR "/read_workbook.py"), path});
    std::string why;
    QJsonObject book;
    if (!reader.waitForFinished(120000) || reader.exitStatus() != QProcess::NormalExit
        || reader.exitCode() != 0) {
        why = "read_workbook.py failed: " + reader.readAllStandardError().toStdString();
    } else {
        QJsonParseError error;
        book = QJsonDocument::fromJson(reader.readAllStandardOutput(), &error).object();
        if (error.error != QJsonParseError::NoError)
            why = "unreadable report: " + error.errorString().toStdString();
    }
    if (problem)
        *problem = why;
    return book;
}

// Row and column as the sheet counts them: row 1 is the title, column 0 is A.
QJsonObject Cell(const QJsonObject &book, int row, int column)
{
    return book[u"rows"].toArray()[row - 1].toArray()[column].toObject();
}

QString Letter(int column)
{
    return QString(QChar(u'A' + column));
}

int Characters(const QString &text)
{
    return int(text.toUcs4().size());
}

std::vector<QString> Texts(const QJsonArray &array)
{
    std::vector<QString> texts;
    for (const QJsonValue &v : array)
        texts.push_back(v.toString());
    return texts;
}

const QStringList DefaultColumns = {
    u"File Name"_qs,
    u"Full Path"_qs,
    u"File Size"_qs,
    u"Size Percentage"_qs,
    u"DOS Name"_qs,
    u"File Ext"_qs,
    u"Create Time"_qs,
    u"Access Time"_qs,
    u"Write Time"_qs,
    u"File Count"_qs,
};

// A small scan with folders two levels deep, as the Total Tree exports it (walk order).
struct NestedScan
{
    LocaleAndZone pin {QLocale::c(), "UTC"};
    CatalogDocument catalog;

    NestedScan()
    {
        TreeBuilder builder("/data");
        // Children of one folder are added together, as the scanner adds them.
        const NodeIndex docs = builder.add(0, "docs", NodeKind::Folder);
        const NodeIndex top = builder.add(0, "top.md", NodeKind::File, 100);
        const NodeIndex a = builder.add(docs, "a.txt", NodeKind::File, 1536);
        const NodeIndex deep = builder.add(docs, "deep", NodeKind::Folder);
        builder.add(deep, "x.bin", NodeKind::File, 3);
        for (const NodeIndex n : {top, a}) {
            builder.tree->node(n).writeTime = 1700000000;
            builder.tree->node(n).set(CatalogNodeData::HasWriteTime);
        }
        std::shared_ptr<const CatalogTree> tree = builder.finish();
        catalog.BuildCatalog(ExportRows::wholeTree(tree, TreeOrder(*tree)));
    }
};

// Rows of one folder's files, as a flat list exports them.
CatalogDocument FlatCatalog(const std::vector<QByteArray> &names, const QByteArray &top = "/data")
{
    TreeBuilder builder(top);
    std::vector<NodeIndex> files;
    for (const QByteArray &name : names)
        files.push_back(builder.add(0, name.constData(), NodeKind::File, 1536));
    std::shared_ptr<const CatalogTree> tree = builder.finish();
    std::vector<TCatalogNode> rows;
    rows.emplace_back(tree, 0);
    for (const NodeIndex n : files)
        rows.emplace_back(tree, n);
    CatalogDocument catalog;
    catalog.BuildCatalog(ExportRows::flat(RowsOf(rows)));
    return catalog;
}

bool IsNumberField(int field)
{
    switch (field) {
    case FileBytes:
    case FileNameLength:
    case PathNameLength:
    case SizePercentage:
    case FileCount:
    case CreateAgeRange:
    case AccessAgeRange:
    case WriteAgeRange:
    case SizeRange:
        return true;
    default:
        return false;
    }
}

// Every data cell holds its field's text: number fields as numbers, the rest as text,
// nothing where the text is empty; every cell bordered, empty ones too.
void ExpectDataRows(const QJsonObject &book, const CatalogDocument &catalog, const QStringList &columns)
{
    const ExportRows &rows = catalog.elements();
    ASSERT_EQ(book[u"max_row"].toInt(), int(rows.size()) + 2);
    const QJsonArray thin = {u"thin"_qs, u"thin"_qs, u"thin"_qs, u"thin"_qs};
    for (int column = 0; column <= columns.size(); ++column)
        EXPECT_EQ(Cell(book, 2, column)[u"border"].toArray(), thin) << "header " << column;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int row = int(r) + 3;
        const QJsonObject serial = Cell(book, row, 0);
        EXPECT_EQ(serial[u"t"].toString(), u"int"_qs) << "row " << row;
        EXPECT_EQ(serial[u"v"].toInt(), int(r) + 1) << "row " << row;
        EXPECT_EQ(serial[u"border"].toArray(), thin) << "row " << row;
        for (int c = 0; c < columns.size(); ++c) {
            const QJsonObject cell = Cell(book, row, c + 1);
            const std::string where = "row " + std::to_string(row) + " " + columns[c].toStdString();
            EXPECT_EQ(cell[u"border"].toArray(), thin) << where;
            const int field = CatalogDocument::WalkFieldOf(columns[c]);
            const QString text = field < 0 ? QString() : rows.text(r, field);
            if (text.isEmpty()) {
                EXPECT_TRUE(cell[u"v"].isNull()) << where;
            } else if (IsNumberField(field)) {
                const QString type = cell[u"t"].toString();
                EXPECT_TRUE(type == u"int" || type == u"float") << where << " is " << type.toStdString();
                const double value = cell[u"v"].toDouble();
                if (field == SizePercentage && text.contains(u'.')) {
                    EXPECT_EQ(cell[u"f"].toString(), u"0.00"_qs) << where;
                    EXPECT_EQ(QString::number(value, 'f', 2), text) << where;
                } else {
                    EXPECT_EQ(QString::number(qulonglong(value)), text) << where;
                }
            } else {
                EXPECT_EQ(cell[u"t"].toString(), u"str"_qs) << where;
                EXPECT_EQ(cell[u"v"].toString(), text) << where;
            }
        }
    }
}

QString Export(const QTemporaryDir &dir, const CatalogDocument &catalog, const QStringList &columns,
    const QString &title = u"Usage"_qs, const QString &name = u"out.xlsx"_qs)
{
    return ExportWorkbook(dir.filePath(name), catalog, columns, title);
}

QStringList Entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(WorkbookExport, TitleHeaderAndRowsInWalkOrder)
{
    SKIP_WITHOUT_OPENPYXL();
    NestedScan scan;
    QTemporaryDir dir;
    const QString heading = u"Disk usage of /data on the file server"_qs;
    ASSERT_EQ(Export(dir, scan.catalog, DefaultColumns, heading), QString());
    EXPECT_EQ(Entries(dir), QStringList {u"out.xlsx"_qs}) << "the streamed rows are not left behind";

    std::string problem;
    const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
    ASSERT_TRUE(problem.empty()) << problem;
    EXPECT_EQ(book[u"sheets"].toArray().size(), 1);
    EXPECT_EQ(book[u"dimensions"].toString(), u"A1:K8"_qs);
    EXPECT_EQ(Texts(book[u"merged"].toArray()), std::vector<QString> {u"A1:K1"_qs});

    const QJsonObject title = Cell(book, 1, 0);
    EXPECT_EQ(title[u"v"].toString(), heading);
    EXPECT_TRUE(title[u"b"].toBool());
    EXPECT_EQ(title[u"h"].toArray(), (QJsonArray {u"center"_qs, u"center"_qs}));

    std::vector<QString> header;
    for (int c = 0; c <= DefaultColumns.size(); ++c)
        header.push_back(Cell(book, 2, c)[u"v"].toString());
    std::vector<QString> expected = {u"SerialNO"_qs};
    expected.insert(expected.end(), DefaultColumns.begin(), DefaultColumns.end());
    EXPECT_EQ(header, expected);
    EXPECT_TRUE(Cell(book, 2, 3)[u"b"].toBool()) << "the header is bold";

    // Folders are numbered before their contents, siblings in the scan's order.
    std::vector<QString> names;
    for (int row = 3; row <= book[u"max_row"].toInt(); ++row)
        names.push_back(Cell(book, row, 1)[u"v"].toString());
    EXPECT_EQ(names,
        (std::vector<QString> {u"/data"_qs, u"docs"_qs, u"a.txt"_qs, u"deep"_qs, u"x.bin"_qs, u"top.md"_qs}));
    // a.txt: its size, its share of 1639 bytes and an empty Create Time, bordered.
    EXPECT_EQ(Cell(book, 5, 3)[u"v"].toInt(), 1536);
    EXPECT_EQ(Cell(book, 5, 3)[u"t"].toString(), u"int"_qs);
    EXPECT_EQ(Cell(book, 5, 4)[u"v"].toDouble(), 93.72);
    EXPECT_EQ(Cell(book, 5, 4)[u"f"].toString(), u"0.00"_qs);
    EXPECT_TRUE(Cell(book, 5, 7)[u"v"].isNull());
    ExpectDataRows(book, scan.catalog, DefaultColumns);

    // Each column as wide as its longest text (header included) and two more; the
    // title, spread over all of them, does not count.
    const QJsonObject widths = book[u"widths"].toObject();
    const ExportRows &rows = scan.catalog.elements();
    for (int c = 0; c <= DefaultColumns.size(); ++c) {
        int longest = c == 0 ? Characters(u"SerialNO"_qs) : Characters(DefaultColumns[c - 1]);
        for (std::size_t r = 0; c > 0 && r < rows.size(); ++r)
            longest = std::max(
                longest, Characters(rows.text(r, CatalogDocument::WalkFieldOf(DefaultColumns[c - 1]))));
        const double width = widths[Letter(c)].toDouble();
        EXPECT_GE(width, longest + 2) << Letter(c).toStdString();
        EXPECT_LT(width, longest + 3) << Letter(c).toStdString();
    }
}

TEST(WorkbookExport, ColumnNamesMatchFieldKeysWithoutBlanks)
{
    SKIP_WITHOUT_OPENPYXL();
    NestedScan scan;
    QTemporaryDir dir;
    const QStringList columns = {u"Bogus"_qs, u"FileNameLength"_qs, u"file name length"_qs,
        u"File Name Length"_qs, u"SizeRange"_qs, u""_qs};
    ASSERT_EQ(Export(dir, scan.catalog, columns), QString());
    std::string problem;
    const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
    ASSERT_TRUE(problem.empty()) << problem;

    const std::size_t rows = scan.catalog.CountElements();
    for (std::size_t r = 0; r < rows; ++r) {
        const int row = int(r) + 3;
        EXPECT_TRUE(Cell(book, row, 1)[u"v"].isNull()) << "Bogus reads nothing, row " << row;
        EXPECT_TRUE(Cell(book, row, 3)[u"v"].isNull()) << "letter case counts, row " << row;
        EXPECT_TRUE(Cell(book, row, 6)[u"v"].isNull()) << "an empty name reads nothing, row " << row;
        EXPECT_EQ(Cell(book, row, 2)[u"v"], Cell(book, row, 4)[u"v"]) << "row " << row;
    }
    EXPECT_EQ(Cell(book, 5, 2)[u"v"].toInt(), 5) << "a.txt";
    EXPECT_EQ(Cell(book, 5, 2)[u"t"].toString(), u"int"_qs);
    EXPECT_EQ(Cell(book, 2, 1)[u"v"].toString(), u"Bogus"_qs);
    EXPECT_TRUE(Cell(book, 2, 6)[u"v"].isNull());
    ExpectDataRows(book, scan.catalog, columns);
}

TEST(WorkbookExport, NumbersOnlyWhereTheTextReadsBackExactly)
{
    SKIP_WITHOUT_OPENPYXL();
    QTemporaryDir dir;
    // Sizes around the largest integer a double holds exactly, and the largest size.
    {
        LocaleAndZone pin(QLocale::c(), "UTC");
        TreeBuilder builder("/data");
        const struct
        {
            std::uint64_t size;
            const char *type;
        } cases[] = {
            {0, "int"},
            {9007199254740992ull, "int"},
            {9007199254740993ull, "str"},
            {18446744073709551615ull, "str"},
        };
        std::vector<NodeIndex> files;
        for (const auto &c : cases)
            files.push_back(builder.add(0, "1536", NodeKind::File, c.size));
        std::shared_ptr<const CatalogTree> tree = builder.finish();
        std::vector<TCatalogNode> list;
        for (const NodeIndex n : files)
            list.emplace_back(tree, n);
        CatalogDocument catalog;
        catalog.BuildCatalog(ExportRows::flat(RowsOf(list)));
        ASSERT_EQ(Export(dir, catalog, {u"File Size"_qs, u"File Name"_qs}), QString());
        std::string problem;
        const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
        ASSERT_TRUE(problem.empty()) << problem;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const QJsonObject cell = Cell(book, int(i) + 3, 1);
            const QString text = QString::number(cases[i].size);
            EXPECT_EQ(cell[u"t"].toString().toStdString(), cases[i].type) << text.toStdString();
            if (cell[u"t"].toString() == u"str")
                EXPECT_EQ(cell[u"v"].toString(), text);
            else
                EXPECT_EQ(cell[u"v"].toDouble(), double(cases[i].size)) << text.toStdString();
            // A file named by digits is still a name.
            EXPECT_EQ(Cell(book, int(i) + 3, 2)[u"t"].toString(), u"str"_qs);
        }
    }

    // A comparison's change of size is a number either way of zero.
    {
        LocaleAndZone pin(QLocale::c(), "UTC");
        TreeBuilder builder("/data");
        builder.add(0, "grew", NodeKind::File, 45);
        builder.add(0, "shrank", NodeKind::File, 5);
        const std::shared_ptr<CatalogTree> tree = builder.finish();
        auto comparison = std::make_shared<ScanComparison>();
        comparison->sizeChange = {-15, 15, -30};
        comparison->change = {EntryChange::Shrunk, EntryChange::Grown, EntryChange::Shrunk};
        tree->setComparison(comparison);
        CatalogDocument catalog;
        catalog.BuildCatalog(ExportRows::wholeTree(tree, TreeOrder(*tree)));
        ASSERT_EQ(Export(dir, catalog, {u"Size Change"_qs, u"Change"_qs}), QString());
        std::string problem;
        const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
        ASSERT_TRUE(problem.empty()) << problem;
        const double expected[] = {-15.0, 15.0, -30.0};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(Cell(book, i + 3, 1)[u"t"].toString(), u"int"_qs) << i;
            EXPECT_EQ(Cell(book, i + 3, 1)[u"v"].toDouble(), expected[i]) << i;
        }
        EXPECT_EQ(Cell(book, 5, 2)[u"v"].toString(), u"shrunk"_qs);
    }

    // The percentage's decimal separator follows the locale; the number is the same.
    const struct
    {
        QLocale locale;
        const char *separator;
    } locales[] = {
        {QLocale::c(), "."},
        {QLocale(QLocale::German, QLocale::Germany), ","},
        {QLocale(QLocale::Arabic, QLocale::Egypt), nullptr},
    };
    for (const auto &l : locales) {
        LocaleAndZone pin(l.locale, "UTC");
        TreeBuilder builder("/data");
        builder.add(0, "small", NodeKind::File, 100);
        builder.add(0, "large", NodeKind::File, 700);
        std::shared_ptr<const CatalogTree> tree = builder.finish();
        CatalogDocument catalog;
        catalog.BuildCatalog(ExportRows::wholeTree(tree, TreeOrder(*tree)));
        const QString small = catalog.elements().text(1, SizePercentage);
        if (l.separator) {
            EXPECT_EQ(small, u"12"_qs + QLatin1String(l.separator) + u"50"_qs);
        }
        ASSERT_EQ(Export(dir, catalog, {u"Size Percentage"_qs}), QString()) << small.toStdString();
        std::string problem;
        const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
        ASSERT_TRUE(problem.empty()) << problem;
        const double expected[] = {100.0, 12.5, 87.5};
        for (int i = 0; i < 3; ++i) {
            const QJsonObject cell = Cell(book, i + 3, 1);
            // 100.00 is stored as 100, shown with its two decimals all the same.
            const QString type = cell[u"t"].toString();
            EXPECT_TRUE(type == u"float" || type == u"int") << small.toStdString() << " row " << i;
            EXPECT_EQ(cell[u"v"].toDouble(), expected[i]) << small.toStdString() << " row " << i;
            EXPECT_EQ(cell[u"f"].toString(), u"0.00"_qs) << small.toStdString() << " row " << i;
        }
    }
}

TEST(WorkbookExport, HostileNamesReadBackAsTheirTexts)
{
    SKIP_WITHOUT_OPENPYXL();
    LocaleAndZone pin(QLocale::c(), "UTC");
    const std::vector<QByteArray> names = {
        "line\nbreak",
        "carriage\rreturn",
        "tab\there",
        "comma,name.csv",
        "quote\"d 'single'.txt",
        "<script>alert(1)</script>&amp;.txt",
        "invalid\xff\xfe.bin",
        "=SUM(A1:A2)",
        "control\x01\x1f.txt",
        "escape_x0041_like_X00e9_",
        "noncharacter\xef\xbf\xbe\xef\xbf\xbf",
        "\xe2\x80\xae"
        "gnp.exe",
        "ten          spaces",
        "\xef\xbb\xbf"
        "byte order mark",
    };
    const CatalogDocument catalog = FlatCatalog(names);
    const QStringList columns = {u"File Name"_qs, u"Full Path"_qs, u"File Ext"_qs};
    QTemporaryDir dir;
    ASSERT_EQ(Export(dir, catalog, columns, u"a<b>&_x0041_\x01"_qs), QString());
    std::string problem;
    const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
    ASSERT_TRUE(problem.empty()) << problem;

    EXPECT_EQ(Cell(book, 1, 0)[u"v"].toString(), u"a<b>&_x0041_\x01"_qs);
    // The texts as given, but U+FFFE and U+FFFF, which a workbook cannot hold, read U+FFFD.
    const ExportRows &rows = catalog.elements();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < columns.size(); ++c) {
            QString text = rows.text(r, FieldIndexOf(columns[c]));
            text.replace(QChar(0xFFFE), QChar(0xFFFD)).replace(QChar(0xFFFF), QChar(0xFFFD));
            const QJsonObject cell = Cell(book, int(r) + 3, c + 1);
            if (text.isEmpty())
                EXPECT_TRUE(cell[u"v"].isNull()) << r << " " << c;
            else
                EXPECT_EQ(cell[u"v"].toString(), text) << r << " " << c;
        }
    }
    const auto rowOf = [&](const char *name) {
        return int(std::find(names.begin(), names.end(), QByteArray(name)) - names.begin()) + 4;
    };
    EXPECT_EQ(Cell(book, rowOf("=SUM(A1:A2)"), 1)[u"t"].toString(), u"str"_qs) << "a name, not a formula";
    EXPECT_EQ(Cell(book, rowOf("noncharacter\xef\xbf\xbe\xef\xbf\xbf"), 1)[u"v"].toString(),
        u"noncharacter\uFFFD\uFFFD"_qs);
    EXPECT_EQ(
        Cell(book, rowOf("escape_x0041_like_X00e9_"), 1)[u"v"].toString(), u"escape_x0041_like_X00e9_"_qs);
    EXPECT_EQ(Cell(book,
                  rowOf("\xef\xbb\xbf"
                        "byte order mark"),
                  1)[u"v"]
                  .toString(),
        u"\uFEFFbyte order mark"_qs);
}

TEST(WorkbookExport, TextsLongerThanACellAreCut)
{
    SKIP_WITHOUT_OPENPYXL();
    LocaleAndZone pin(QLocale::c(), "UTC");
    // A name beyond the cell limit, in letters of two UTF-16 units and with
    // sequences that need spelling out, so the cut can fall in neither.
    QByteArray top = "/";
    for (int i = 0; i < 12000; ++i)
        top += "\xf0\x9f\x98\x80_x0041_";
    const CatalogDocument catalog = FlatCatalog({"a.txt"}, top);
    QTemporaryDir dir;
    // Said once for the export, with the count: the top's name and path, and the path
    // of the file below it.
    ExportControl control;
    ASSERT_EQ(ExportWorkbook(dir.filePath(u"out.xlsx"_qs), catalog.elements(),
                  {u"File Ext"_qs, u"File Name"_qs, u"Full Path"_qs}, u"Usage"_qs, &control),
        QString());
    EXPECT_EQ(control.warnings(),
        QStringList {u"3 texts were cut to the 32,767 characters a workbook cell holds, the first in row 3 "
                     u"(column \"File Name\")"_qs});
    std::string problem;
    const QJsonObject book = ReadWorkbook(dir.filePath(u"out.xlsx"_qs), &problem);
    ASSERT_TRUE(problem.empty()) << problem;

    const QString full = catalog.elements().text(0, FileName);
    const QString cell = Cell(book, 3, 2)[u"v"].toString();
    EXPECT_LE(cell.size(), 32767);
    EXPECT_GT(cell.size(), 5000);
    EXPECT_TRUE(full.startsWith(cell)) << "a prefix of the name, no half character";
    EXPECT_FALSE(cell.back().isHighSurrogate());
    EXPECT_EQ(book[u"widths"].toObject()[u"C"_qs].toDouble(), 102.7109375) << "fitted up to a limit";

    // Texts that fit are not worth a word.
    ExportControl quiet;
    ASSERT_EQ(ExportWorkbook(dir.filePath(u"out.xlsx"_qs), FlatCatalog({"a.txt"}).elements(), DefaultColumns,
                  u"Usage"_qs, &quiet),
        QString());
    EXPECT_TRUE(quiet.warnings().isEmpty());
}

TEST(WorkbookExport, FewColumnsAndEmptyCatalogs)
{
    SKIP_WITHOUT_OPENPYXL();
    NestedScan scan;
    const CatalogDocument empty;
    const struct
    {
        const char *what;
        const CatalogDocument &catalog;
        QStringList columns;
        QString title;
        const char *merged;
        const char *dimensions;
    } cases[] = {
        {"empty catalog", empty, DefaultColumns, u"Usage"_qs, "A1:K1", "A1:K2"},
        {"one column", scan.catalog, {u"File Name"_qs}, u"Usage"_qs, "A1:B1", "A1:B8"},
        {"serial numbers only", scan.catalog, {}, u"Usage"_qs, nullptr, "A1:A8"},
        {"title of the file name", empty, {}, QString(), nullptr, "A1:A2"},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        ASSERT_EQ(Export(dir, c.catalog, c.columns, c.title, u"disk.usage.xlsx"_qs), QString()) << c.what;
        std::string problem;
        const QJsonObject book = ReadWorkbook(dir.filePath(u"disk.usage.xlsx"_qs), &problem);
        ASSERT_TRUE(problem.empty()) << c.what << ": " << problem;
        EXPECT_EQ(book[u"dimensions"].toString().toStdString(), c.dimensions) << c.what;
        EXPECT_EQ(Texts(book[u"merged"].toArray()),
            c.merged ? std::vector<QString> {QString::fromLatin1(c.merged)} : std::vector<QString> {})
            << c.what;
        const QJsonObject title = Cell(book, 1, 0);
        EXPECT_EQ(title[u"v"].toString(), c.title.isEmpty() ? u"disk"_qs : c.title) << c.what;
        EXPECT_TRUE(title[u"b"].toBool()) << c.what;
        EXPECT_EQ(title[u"h"].toArray(), (QJsonArray {u"center"_qs, u"center"_qs})) << c.what;
        EXPECT_EQ(Cell(book, 2, 0)[u"v"].toString(), u"SerialNO"_qs) << c.what;
        ExpectDataRows(book, c.catalog, c.columns);
    }
}

TEST(WorkbookExport, RowLimitCountsTitleAndHeader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"big.xlsx"_qs);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();

    // Elements that are never read: a catalog is refused by its size alone.
    NodeRows rows {TreeBuilder("/data").finish(), std::vector<NodeIndex>(WorkbookRowLimit - 2, 0), std::nullopt};
    CatalogDocument catalog;
    catalog.BuildCatalog(ExportRows::flat(rows));
    EXPECT_TRUE(WorkbookFits(catalog));
    rows.nodes.push_back(0);
    catalog.BuildCatalog(ExportRows::flat(rows));
    EXPECT_FALSE(WorkbookFits(catalog));
    EXPECT_EQ(ExportWorkbook(path, catalog, DefaultColumns), QString::fromLatin1(WorkbookTooManyRows));
    EXPECT_EQ(ReadFile(path), QByteArray("old contents"));
    EXPECT_EQ(Entries(dir), QStringList {u"big.xlsx"_qs});
}

TEST(WorkbookExport, FailuresLeaveTheOldFileAndNothingElse)
{
    NestedScan scan;
    QTemporaryDir dir;
    const QString lost = dir.filePath(u"missing/out.xlsx"_qs);
    EXPECT_FALSE(ExportWorkbook(lost, scan.catalog, DefaultColumns).isEmpty());
    EXPECT_FALSE(QFile::exists(lost));
    EXPECT_TRUE(Entries(dir).isEmpty());

    // More columns than a sheet has: libxlsxwriter refuses the title's merge.
    const QString path = dir.filePath(u"out.xlsx"_qs);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    const QStringList tooWide(16384, u"File Name"_qs);
    const QString reason = ExportWorkbook(path, scan.catalog, tooWide);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(ReadFile(path), QByteArray("old contents"));
    EXPECT_EQ(Entries(dir), QStringList {u"out.xlsx"_qs}) << reason.toStdString();
}
