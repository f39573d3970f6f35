#include "TableExport.h"
#include "ExportColumns.h"

#include "CatalogFields.h"
#include "LocaleAndZone.h"
#include "RowsOf.h"
#include "TConfig.h"
#include "TreeBuilder.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Records = std::vector<std::vector<std::string>>;

// A strict RFC 4180 reader: records end with CR LF (a bare CR or LF outside quotes
// is an error), a quoted field may hold anything with its quotes doubled. Returns
// false on anything malformed.
bool ReadDelimited(const QByteArray &bytes, const std::string &separator, Records &records)
{
    records.clear();
    const std::string text = bytes.toStdString();
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    bool quotedField = false;
    while (i < text.size()) {
        if (field.empty() && !quotedField && text[i] == '"') {
            quotedField = true;
            ++i;
            for (;;) {
                if (i >= text.size())
                    return false; // unterminated quote
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            continue;
        }
        if (text.compare(i, 2, "\r\n") == 0) {
            record.push_back(field);
            records.push_back(record);
            record.clear();
            field.clear();
            quotedField = false;
            i += 2;
            continue;
        }
        if (!separator.empty() && text.compare(i, separator.size(), separator) == 0) {
            record.push_back(field);
            field.clear();
            quotedField = false;
            i += separator.size();
            continue;
        }
        if (quotedField || text[i] == '"' || text[i] == '\r' || text[i] == '\n')
            return false; // text after a closing quote, a stray quote or a bare line break
        field += text[i++];
    }
    return field.empty() && record.empty() && !quotedField; // the last line ended with CR LF
}

// Rows of a small scan, flattened in pre-order; texts are pinned to the C locale and UTC.
struct Scan
{
    LocaleAndZone pin {QLocale::c(), "UTC"};
    std::vector<TCatalogNode> rows;

    explicit Scan(const std::vector<QByteArray> &fileNames)
    {
        TreeBuilder builder("/data");
        std::vector<NodeIndex> files;
        for (const QByteArray &name : fileNames) {
            files.push_back(builder.add(0, name.constData(), NodeKind::File, 1536));
            CatalogNodeData &data = builder.tree->node(files.back());
            data.writeTime = 1700000000;
            data.set(CatalogNodeData::HasWriteTime);
        }
        std::shared_ptr<const CatalogTree> tree = builder.finish();
        rows.emplace_back(tree, 0);
        for (const NodeIndex n : files)
            rows.emplace_back(tree, n);
    }
};

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

// Names a file system may hand us that break naive writers.
const std::vector<QByteArray> HostileNames = {
    "plain.txt",
    "<script>alert(1)</script>.txt",
    "line\nbreak",
    "carriage\rreturn",
    "tab\there",
    "comma,name.csv",
    "quote\"d 'single'.txt",
    "a&b&amp;.txt",
    "invalid\xff\xfe.bin",
    "=SUM(A1:A2)",
    "ten          spaces",
    "trailing blank ",
    " leading blank",
    "         nine blanks around         ",
    "noext",
};

std::vector<std::string> ExpectedRecord(const TCatalogNode &row, const QStringList &columns)
{
    std::vector<std::string> record;
    for (const QString &column : columns)
        record.push_back(row.text(FieldIndexOf(column)).toStdString());
    return record;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool IsUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// A configuration of our own for one test, forgotten again at its end.
struct TemporaryConfig
{
    QTemporaryDir dir;
    TemporaryConfig(const QByteArray &contents = QByteArray())
    {
        ResetConfig();
        const QString file = dir.filePath(QString::fromLatin1(TConfig::BaseName));
        if (!contents.isEmpty()) {
            QFile out(file);
            out.open(QIODevice::WriteOnly);
            out.write(contents);
        }
        UseConfigFile(file);
    }
    ~TemporaryConfig() { ResetConfig(); }
};

} // namespace

TEST(ExportColumns, DefaultListFollowsVisibilityOnly)
{
    TemporaryConfig config;
    QString problem = u"stale"_qs;
    EXPECT_EQ(GetExportColumns(GetConfig().Document().nodes(), &problem), DefaultColumns);
    EXPECT_TRUE(problem.isEmpty());

    // Hiding a column drops it; DefaultExport and the on-screen Index play no part.
    TXMLNodesType nodes = GetConfig().Document().nodes();
    nodes.node(1).setVisible(false);
    nodes.node(2).setDefaultExport(false);
    nodes.node(3).setIndex(0);
    QStringList expected = DefaultColumns;
    expected.removeAt(1);
    EXPECT_EQ(GetExportColumns(GetConfig().Document().nodes()), expected);
}

TEST(ExportColumns, UnreadableVisibleIsSkippedAndReported)
{
    QByteArray text = TConfig::defaultText();
    const qsizetype at = text.indexOf("Visible=\"True\"");
    ASSERT_GE(at, 0);
    text.replace(at, 14, "Visible=\"maybe\"");
    TemporaryConfig config(text);

    QString problem;
    const QStringList columns = GetExportColumns(GetConfig().Document().nodes(), &problem);
    EXPECT_EQ(columns, DefaultColumns.mid(1));
    EXPECT_TRUE(problem.contains(u"maybe"_qs)) << problem.toStdString();
}

TEST(ExportColumns, TitleIsTheNameBeforeItsFirstDot)
{
    const struct
    {
        const char *path, *title;
    } cases[] = {
        {"/r/disk.usage.htm", "disk"},
        {"/r/summary", "summary"},
        {"summary.htm", "summary"},
        {"/r.d/plain", "plain"},
        {"/r/", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ExportTitleOf(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
}

TEST(TableExport, CellsAreTheStoredTextsAndUnknownNamesExportFileName)
{
    Scan scan({"report.txt", "noext"});
    const TCatalogNode &file = scan.rows[1];
    const QStringList columns = {u"File Size"_qs, u"Size Percentage"_qs, u"Bogus"_qs, u"file name"_qs,
        u"Write Time"_qs, u"File Ext"_qs};
    Records records;
    ASSERT_TRUE(
        ReadDelimited(BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), columns, CsvSeparator), ",", records));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0],
        (std::vector<std::string> {
            "File Size", "Size Percentage", "Bogus", "file name", "Write Time", "File Ext"}));
    const std::string percentage = file.text(SizePercentage).toStdString();
    EXPECT_FALSE(percentage.empty());
    EXPECT_EQ(percentage.find('%'), std::string::npos);
    const std::string written = file.text(WriteTime).toStdString();
    EXPECT_FALSE(written.empty());
    EXPECT_EQ(records[2],
        (std::vector<std::string> {"1536", percentage, "report.txt", "report.txt", written, "txt"}));
    EXPECT_EQ(records[3].back(), "") << "a name without extension has an empty File Ext";
}

TEST(TableExport, DelimitedRoundTripsHostileNames)
{
    Scan scan(HostileNames);
    const struct
    {
        const char *what;
        QString separator;
    } cases[] = {
        {"csv", CsvSeparator},
        {"text", TextSeparator},
    };
    for (const auto &c : cases) {
        const QByteArray bytes = BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), DefaultColumns, c.separator);
        EXPECT_TRUE(IsUtf8(bytes)) << c.what;
        Records records;
        ASSERT_TRUE(ReadDelimited(bytes, c.separator.toStdString(), records)) << c.what;
        ASSERT_EQ(records.size(), scan.rows.size() + 1) << c.what;
        std::vector<std::string> header;
        for (const QString &column : DefaultColumns)
            header.push_back(column.toStdString());
        EXPECT_EQ(records[0], header) << c.what;
        for (std::size_t i = 0; i < scan.rows.size(); ++i)
            EXPECT_EQ(records[i + 1], ExpectedRecord(scan.rows[i], DefaultColumns)) << c.what << " row " << i;
    }
    // A left-to-right reader would split " leading blank" back all the same, but
    // the line would read as well as "previous field " and "leading blank".
    EXPECT_TRUE(BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), {u"File Size"_qs, u"File Name"_qs}, TextSeparator)
                    .contains("1536          \" leading blank\"\r\n"));
    // The formula-like name is kept as the file system gave it, not rewritten.
    EXPECT_TRUE(BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), DefaultColumns, CsvSeparator)
                    .contains("\r\n=SUM(A1:A2),"));
}

TEST(TableExport, DelimitedLinesWithFewColumns)
{
    Scan scan({"a.txt"});
    const struct
    {
        const char *what;
        QStringList columns;
        QByteArray expected;
    } cases[] = {
        {"no columns", {}, "\r\n\r\n\r\n"},
        {"one empty value", {u"File Ext"_qs}, "File Ext\r\n\"\"\r\ntxt\r\n"},
        {"empty header", {u""_qs, u"File Size"_qs}, ",File Size\r\n/data,1536\r\na.txt,1536\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), c.columns, CsvSeparator), c.expected) << c.what;
}

TEST(TableExport, HtmlTableRowsAlternateAndEverythingIsEscaped)
{
    Scan scan(HostileNames);
    const QStringList columns = {u"File Name"_qs, u"File Ext"_qs, u"a<b>&\"'"_qs};
    const QByteArray page = BuildHtml(ExportRows::flat(RowsOf(scan.rows)), columns, u"x<y>&z"_qs);

    EXPECT_TRUE(IsUtf8(page));
    EXPECT_TRUE(page.startsWith("<HTML><HEAD><META charset=\"UTF-8\">"));
    EXPECT_TRUE(page.endsWith("</Table></BODY></HTML>\r\n"));
    EXPECT_EQ(page.count('\n'), 1) << "the page is one CR LF line";
    EXPECT_EQ(page.count('\r'), 1);
    EXPECT_TRUE(page.contains("<H5 Align=center>x&lt;y&gt;&amp;z</H5><br>"));
    EXPECT_TRUE(page.contains("<tr><td class=\"ThRows\">File Name</td><td class=\"ThRows\">"
                              "File Ext</td><td class=\"ThRows\">a&lt;b&gt;&amp;&quot;&#39;</td></tr>"));

    // No markup of our own contains these; each is escaped from a name.
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("&lt;script&gt;alert(1)&lt;/script&gt;.txt"));
    EXPECT_TRUE(page.contains("quote&quot;d &#39;single&#39;.txt"));
    EXPECT_TRUE(page.contains("a&amp;b&amp;amp;.txt"));
    EXPECT_TRUE(page.contains("line&#10;break"));
    EXPECT_TRUE(page.contains("carriage&#13;return"));
    EXPECT_TRUE(page.contains("invalid\xEF\xBF\xBD\xEF\xBF\xBD.bin"));
    EXPECT_TRUE(page.contains(">=SUM(A1:A2)</td>"));
    EXPECT_FALSE(page.contains("&nbsp<")) << "every &nbsp has its semicolon";

    // Data rows: classes A, B, A, ... whatever the kind; the top folder has no File Ext.
    std::vector<QByteArray> rows;
    for (qsizetype at = page.indexOf("<tr><td class=\"Tr"); at >= 0;
         at = page.indexOf("<tr><td class=\"Tr", at + 1))
        rows.push_back(page.mid(at, page.indexOf("</tr>", at) - at));
    ASSERT_EQ(rows.size(), scan.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QByteArray cell =
            i % 2 == 0 ? "<td class=\"TrARow\" align=Left>" : "<td class=\"TrBRow\" align=Left>";
        EXPECT_EQ(rows[i].count(cell), columns.size()) << "row " << i;
    }
    EXPECT_TRUE(rows[0].contains("<td class=\"TrARow\" align=Left>&nbsp;</td>"));

    const QByteArray bare = BuildHtml(ExportRows::flat(RowsOf(scan.rows)), {}, u"t"_qs);
    EXPECT_EQ(bare.count("<tr></tr>"), qsizetype(scan.rows.size() + 1));
}

TEST(TableExport, FilesAreReplacedWholeAndEmptyListsGiveEmptyFiles)
{
    Scan scan({"a.txt", "b,c.txt"});
    QTemporaryDir dir;
    using Export = QString (*)(const QString &, const ExportRows &, const QStringList &);
    const struct
    {
        const char *what;
        Export exporter;
        QByteArray expected;
    } cases[] = {
        {"html",
            [](const QString &p, const ExportRows &r, const QStringList &c) { return ExportHtml(p, r, c); },
            BuildHtml(ExportRows::flat(RowsOf(scan.rows)), DefaultColumns, u"out"_qs)},
        {"text",
            [](const QString &p, const ExportRows &r, const QStringList &c) { return ExportText(p, r, c); },
            BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), DefaultColumns, TextSeparator)},
        {"csv",
            [](const QString &p, const ExportRows &r, const QStringList &c) { return ExportCsv(p, r, c); },
            BuildDelimited(ExportRows::flat(RowsOf(scan.rows)), DefaultColumns, CsvSeparator)},
    };
    const ExportRows none;
    for (const auto &c : cases) {
        EXPECT_TRUE(c.expected.endsWith("\r\n")) << c.what;
        const QString path = dir.filePath(u"out.x"_qs);
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
        old.close();

        EXPECT_EQ(c.exporter(path, ExportRows::flat(RowsOf(scan.rows)), DefaultColumns), QString()) << c.what;
        EXPECT_EQ(ReadFile(path), c.expected) << c.what;

        EXPECT_EQ(c.exporter(path, none, DefaultColumns), QString()) << c.what;
        EXPECT_EQ(ReadFile(path), QByteArray()) << c.what << ": an empty list gives zero bytes";
        EXPECT_TRUE(QFile::exists(path)) << c.what;

        const QString lost = dir.filePath(u"missing/out.x"_qs);
        EXPECT_FALSE(c.exporter(lost, ExportRows::flat(RowsOf(scan.rows)), DefaultColumns).isEmpty()) << c.what;
        EXPECT_FALSE(QFile::exists(lost)) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList {u"out.x"_qs})
            << c.what << ": no temporary file is left";
    }
    EXPECT_TRUE(BuildHtml(none, DefaultColumns, u"t"_qs).isEmpty());
    EXPECT_TRUE(BuildDelimited(none, DefaultColumns, CsvSeparator).isEmpty());
}
