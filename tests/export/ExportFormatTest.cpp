#include "ExportFormat.h"

#include "AllocationBudget.h"
#include "CatalogDocument.h"
#include "ExportControl.h"
#include "ExportOutput.h"
#include "ExportRows.h"
#include "LocaleAndZone.h"
#include "RowsOf.h"
#include "TableExport.h"
#include "TreeBuilder.h"
#include "TreeOrder.h"
#include "WorkbookExport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const QStringList Columns = {u"File Name"_qs, u"Full Path"_qs, u"File Size"_qs, u"Write Time"_qs};

// /data { docs/ { a,b.txt }, c.bin }: a folder, so that the catalog nests, and a
// comma, so that CSV quotes and text does not.
struct NestedRows
{
    LocaleAndZone pin {QLocale::c(), "UTC"};
    ExportRows rows;

    NestedRows()
    {
        TreeBuilder builder("/data");
        const NodeIndex docs = builder.add(0, "docs", NodeKind::Folder);
        builder.add(0, "c.bin", NodeKind::File, 70000);
        builder.add(docs, "a,b.txt", NodeKind::File, 1536);
        const std::shared_ptr<const CatalogTree> tree = builder.finish();
        rows = ExportRows::wholeTree(tree, TreeOrder(*tree));
    }
};

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList Entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray CatalogXml(const ExportRows &rows)
{
    CatalogDocument catalog;
    catalog.BuildCatalog(rows);
    return catalog.toXml();
}

} // namespace

TEST(ExportFormat, NamesAndExtensionsInAnyCaseAndNothingElse)
{
    const struct
    {
        const char *name;
        ExportFormat format;
    } known[] = {
        {"html", ExportFormat::Html},
        {"HTM", ExportFormat::Html},
        {"Text", ExportFormat::Text},
        {"txt", ExportFormat::Text},
        {"csv", ExportFormat::Csv},
        {"XML", ExportFormat::Xml},
        {"xlsx", ExportFormat::Workbook},
        {"XlSx", ExportFormat::Workbook},
    };
    for (const auto &k : known)
        EXPECT_EQ(ExportFormatNamed(k.name), k.format) << k.name;
    for (const char *unknown : {"", "h", "htmlx", ".csv", "csv ", "xls", "excel", "workbook", "tex"})
        EXPECT_EQ(ExportFormatNamed(unknown), std::nullopt) << '"' << unknown << '"';

    // Each format's own name and extension lead back to it: the table follows the enum.
    for (const ExportFormat format : ExportFormats) {
        const ExportFormatTraits &traits = TraitsOf(format);
        EXPECT_EQ(ExportFormatNamed(traits.name.toString().toLatin1()), format)
            << traits.name.toString().toStdString();
        EXPECT_EQ(ExportFormatNamed(traits.extension.toString().toLatin1()), format)
            << traits.extension.toString().toStdString();
        EXPECT_TRUE(
            traits.filter.endsWith(QLatin1Char('.') + traits.extension.toString(), Qt::CaseInsensitive))
            << traits.filter.toString().toStdString();
    }
}

TEST(ExportFormat, EachFormatWritesWhatItsWriterMakes)
{
    NestedRows list;
    QTemporaryDir dir;
    const struct
    {
        ExportFormat format;
        QByteArray file; // titled by the file's name
        QByteArray streamed; // titled "Usage"
    } cases[] = {
        {ExportFormat::Html, BuildHtml(list.rows, Columns, u"disk"_qs),
            BuildHtml(list.rows, Columns, u"Usage"_qs)},
        {ExportFormat::Text, BuildDelimited(list.rows, Columns, TextSeparator),
            BuildDelimited(list.rows, Columns, TextSeparator)},
        {ExportFormat::Csv, BuildDelimited(list.rows, Columns, CsvSeparator),
            BuildDelimited(list.rows, Columns, CsvSeparator)},
        {ExportFormat::Xml, CatalogXml(list.rows), CatalogXml(list.rows)},
    };
    ASSERT_NE(cases[1].file, cases[2].file); // the comma sets CSV apart from text
    for (const auto &c : cases) {
        const std::string what = TraitsOf(c.format).name.toString().toStdString();
        const QString path = dir.filePath(u"disk.usage."_qs + TraitsOf(c.format).extension.toString());
        EXPECT_EQ(WriteExport(c.format, list.rows, Columns, QString(), path), QString()) << what;
        EXPECT_EQ(ReadFile(path), c.file) << what;

        QByteArray memory;
        ExportOutput out(memory);
        EXPECT_EQ(WriteExport(c.format, list.rows, Columns, u"Usage"_qs, out), QString()) << what;
        EXPECT_EQ(memory, c.streamed) << what;
        EXPECT_TRUE(TraitsOf(c.format).streams) << what;
    }

    // The page's heading is the title given, before the file's name.
    const QString titled = dir.filePath(u"other.htm"_qs);
    EXPECT_EQ(WriteExport(ExportFormat::Html, list.rows, Columns, u"Usage"_qs, titled), QString());
    EXPECT_EQ(ReadFile(titled), cases[0].streamed);

    // A workbook is a zip package, to a file only.
    const QString book = dir.filePath(u"disk.xlsx"_qs);
    EXPECT_EQ(WriteExport(ExportFormat::Workbook, list.rows, Columns, QString(), book), QString());
    EXPECT_TRUE(ReadFile(book).startsWith("PK\x03\x04"));
    EXPECT_FALSE(TraitsOf(ExportFormat::Workbook).streams);
    QByteArray memory;
    ExportOutput out(memory);
    EXPECT_FALSE(WriteExport(ExportFormat::Workbook, list.rows, Columns, QString(), out).isEmpty());
    out.flush();
    EXPECT_TRUE(memory.isEmpty());
}

TEST(ExportFormat, FailuresLeaveTheOldFileAndOnlyWorkbooksHaveARowLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.x"_qs);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();

    // Rows that are never read: a workbook is refused by their count alone.
    NodeRows fits {TreeBuilder("/data").finish(), std::vector<NodeIndex>(WorkbookRowLimit - 2, 0), std::nullopt};
    EXPECT_EQ(ExportRefusal(ExportFormat::Workbook, ExportRows::flat(fits)), QString());
    fits.nodes.push_back(0);
    const ExportRows tooMany = ExportRows::flat(fits);
    for (const ExportFormat format : ExportFormats) {
        const QString expected =
            format == ExportFormat::Workbook ? QString::fromLatin1(WorkbookTooManyRows) : QString();
        EXPECT_EQ(ExportRefusal(format, tooMany), expected) << int(format);
    }
    EXPECT_EQ(WriteExport(ExportFormat::Workbook, tooMany, Columns, QString(), path),
        QString::fromLatin1(WorkbookTooManyRows));
    EXPECT_EQ(ReadFile(path), QByteArray("old contents"));

    NestedRows list;
    for (const ExportFormat format : ExportFormats) {
        const QString lost = dir.filePath(u"missing/out.x"_qs);
        EXPECT_FALSE(WriteExport(format, list.rows, Columns, QString(), lost).isEmpty()) << int(format);
    }
    EXPECT_EQ(Entries(dir), QStringList {u"out.x"_qs});
}

TEST(ExportFormat, RunningOutOfMemoryOrStoppingLeavesTheOldFileAndNothingElse)
{
    // A few megabytes of every format, so that memory can run out at every stage:
    // before the file, between pieces handed to it, at its end.
    LocaleAndZone pin(QLocale::c(), "UTC");
    TreeBuilder builder("/data");
    for (int i = 0; i < 30000; ++i)
        builder.add(0, ("file number " + std::to_string(i) + ".txt").c_str(), NodeKind::File, 1536);
    const std::shared_ptr<const CatalogTree> tree = builder.finish();
    const ExportRows rows = ExportRows::wholeTree(tree, TreeOrder(*tree));

    QTemporaryDir dir;
    const QString path = dir.filePath(u"out.x"_qs);
    const QString reference = dir.filePath(u"reference/out.x"_qs);
    ASSERT_TRUE(QDir().mkpath(dir.filePath(u"reference"_qs)));
    const std::size_t budgets[] = {0, 1 << 10, 1 << 16, (1 << 20) + (1 << 16), 2 << 20, 3 << 20, 5 << 20};
    for (const ExportFormat format : ExportFormats) {
        const std::string what = TraitsOf(format).name.toString().toStdString();
        ASSERT_EQ(WriteExport(format, rows, Columns, QString(), reference), QString()) << what;
        const QByteArray whole = ReadFile(reference);

        ExportControl stopped;
        stopped.stop();
        WriteFile(path, "old contents");
        EXPECT_EQ(WriteExport(format, rows, Columns, QString(), path, &stopped), SafeFile::reason(ECANCELED))
            << what;
        EXPECT_EQ(ReadFile(path), QByteArray("old contents")) << what;

        for (const std::size_t budget : budgets) {
            WriteFile(path, "old contents");
            QString result;
            {
                const AllocationBudget limit(budget);
                result = WriteExport(format, rows, Columns, QString(), path);
            }
            if (result.isEmpty()) {
                // A workbook's zip package holds the time it was made.
                if (format != ExportFormat::Workbook) {
                    EXPECT_EQ(ReadFile(path), whole) << what << " with " << budget << " bytes";
                }
            } else {
                EXPECT_EQ(result, SafeFile::reason(ENOMEM)) << what << " with " << budget << " bytes";
                EXPECT_EQ(ReadFile(path), QByteArray("old contents"))
                    << what << " with " << budget << " bytes";
            }
            EXPECT_EQ(Entries(dir), (QStringList {u"out.x"_qs, u"reference"_qs}))
                << what << " with " << budget;
        }
    }
}
