#include "CatalogDocument.h"
#include "ExportOutput.h"

#include "CatalogFields.h"
#include "ExportControl.h"
#include "LocaleAndZone.h"
#include "RowsOf.h"
#include "TreeBuilder.h"
#include "TreeOrder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One `file` element as a parser reads it back.
struct Element
{
    int depth = 0;
    std::vector<std::pair<QString, QString>> attributes;
};

// Parses a catalog with Qt's reader; fails the test on anything not well-formed.
std::vector<Element> ReadCatalog(const QByteArray &xml, QString *generated = nullptr)
{
    std::vector<Element> elements;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (reader.name() == u"fileinfo") {
                if (generated)
                    *generated = reader.attributes().value(QStringLiteral("generated")).toString();
            } else {
                EXPECT_EQ(reader.name(), u"file");
                Element e;
                e.depth = depth - 1; // below the root
                for (const QXmlStreamAttribute &a : reader.attributes())
                    e.attributes.emplace_back(a.name().toString(), a.value().toString());
                elements.push_back(e);
            }
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            EXPECT_TRUE(reader.isWhitespace())
                << "text in the catalog: " << reader.text().toString().toStdString();
            break;
        default:
            break;
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << " at line "
                                    << reader.lineNumber();
    return elements;
}

QString AttributeOf(const Element &e, const char *name)
{
    for (const auto &[key, value] : e.attributes) {
        if (key == QLatin1String(name))
            return value;
    }
    return QString();
}

// /data: docs/ (a.txt, empty/), b.bin, noext; sorted by name, folders first.
struct Nested
{
    LocaleAndZone pin {QLocale::c(), "UTC"};
    TreeBuilder builder {"/data"};
    std::shared_ptr<const CatalogTree> tree;
    TreeOrder order;

    Nested()
    {
        const NodeIndex docs = builder.add(0, "docs", NodeKind::Folder, 0, 4096);
        builder.add(0, "noext", NodeKind::File, 7);
        builder.add(0, "b.bin", NodeKind::File, 1536, 4096);
        builder.add(docs, "empty", NodeKind::Folder);
        builder.add(docs, "a.txt", NodeKind::File, 3);
        tree = builder.finish();
        order = TreeOrder(*tree);
        order.sortBy(*tree, FileName, Qt::AscendingOrder);
    }
};

} // namespace

TEST(CatalogDocument, TreeGivesNestedElementsWithTheNonEmptyFieldsInFieldOrder)
{
    Nested scan;
    CatalogDocument catalog;
    catalog.BuildCatalog(ExportRows::wholeTree(scan.tree, scan.order));
    EXPECT_EQ(catalog.CountElements(), 6u);

    const QByteArray xml = catalog.toXml();
    EXPECT_TRUE(xml.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>"))
        << xml.left(80).data();
    QString generated;
    const std::vector<Element> elements = ReadCatalog(xml, &generated);
    EXPECT_EQ(generated, QString::fromLatin1(CatalogGenerator));

    const struct
    {
        const char *name;
        int depth;
        const char *kind;
        const char *ext;
    } expected[] = {
        {"/data", 0, "folder", ""},
        {"docs", 1, "folder", ""},
        {"empty", 2, "folder", ""},
        {"a.txt", 2, "file", "txt"},
        {"b.bin", 1, "file", "bin"},
        {"noext", 1, "file", ""},
    };
    ASSERT_EQ(elements.size(), std::size(expected));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element &e = elements[i];
        EXPECT_EQ(e.depth, expected[i].depth) << i;
        EXPECT_EQ(AttributeOf(e, "FileName"), QString::fromUtf8(expected[i].name)) << i;
        EXPECT_EQ(AttributeOf(e, "FileType"), QString::fromUtf8(expected[i].kind)) << i;
        EXPECT_EQ(AttributeOf(e, "FileExt"), QString::fromUtf8(expected[i].ext)) << i;

        // One attribute per non-empty field, in field order, each the stored text.
        const ExportRows &rows = catalog.elements();
        std::vector<std::pair<QString, QString>> fields;
        for (int f = 0; f < RecordFieldCount; ++f) {
            if (const QString text = rows.text(i, f); !text.isEmpty())
                fields.emplace_back(QString::fromLatin1(CatalogDocument::AttributeOf(f)), text);
        }
        EXPECT_EQ(e.attributes, fields) << i;
    }
    EXPECT_EQ(AttributeOf(elements[4], "FileBytes"), u"1536"_qs);

    // A field after the record's is written, last, where a column of the export shows it.
    QByteArray withDisk;
    ExportOutput out(withDisk);
    WriteCatalog(out, catalog.elements(), nullptr, {u"File Size"_qs, u"Disk Usage"_qs});
    out.flush();
    const std::vector<Element> more = ReadCatalog(withDisk);
    ASSERT_EQ(more.size(), elements.size());
    for (std::size_t i = 0; i < more.size(); ++i) {
        ASSERT_EQ(more[i].attributes.size(), elements[i].attributes.size() + 1) << i;
        EXPECT_EQ(
            more[i].attributes.back(), std::pair(u"DiskUsage"_qs, catalog.elements().text(i, DiskUsage)))
            << i;
    }

    // A flat list is one level, in its own order.
    std::vector<TCatalogNode> flat {{scan.tree, 2}, {scan.tree, 1}};
    catalog.BuildCatalog(ExportRows::flat(RowsOf(flat)));
    const std::vector<Element> level = ReadCatalog(catalog.toXml());
    ASSERT_EQ(level.size(), 2u);
    EXPECT_EQ(level[0].depth, 0);
    EXPECT_EQ(level[1].depth, 0);
    EXPECT_EQ(AttributeOf(level[0], "FileName"), u"noext"_qs);

    catalog.ResetCatalog();
    EXPECT_EQ(catalog.CountElements(), 0u);
    EXPECT_TRUE(ReadCatalog(catalog.toXml(), &generated).empty());
    EXPECT_EQ(generated, QString::fromLatin1(CatalogGenerator));
}

TEST(CatalogDocument, AnyNameGivesAWellFormedFileThatReadsBack)
{
    LocaleAndZone pin {QLocale::c(), "UTC"};
    const std::vector<QByteArray> names = {
        "<script>alert(1)</script>.txt",
        "line\nbreak",
        "carriage\rreturn",
        "tab\there",
        "quote\"d 'single'",
        "a&b&amp;",
        "invalid\xff\xfe.bin",
        "bell\x07and\x1b",
        "=SUM(A1:A2)",
        "not\xef\xbf\xbe"
        "char",
        "]]>",
        "two  spaces ",
    };
    TreeBuilder builder("/data");
    for (const QByteArray &name : names)
        builder.add(0, name.constData(), NodeKind::File, 5);
    const std::shared_ptr<const CatalogTree> tree = builder.finish();

    CatalogDocument catalog;
    catalog.BuildCatalog(ExportRows::wholeTree(tree, TreeOrder(*tree)));
    const std::vector<Element> elements = ReadCatalog(catalog.toXml());
    ASSERT_EQ(elements.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        // What XML cannot hold becomes U+FFFD; everything else comes back as it is.
        QString expected = tree->name(NodeIndex(i + 1));
        for (QChar &c : expected) {
            if ((c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c.unicode() >= 0xFFFE)
                c = QChar::ReplacementCharacter;
        }
        EXPECT_EQ(AttributeOf(elements[i + 1], "FileName"), expected) << names[i].toStdString();
        EXPECT_EQ(AttributeOf(elements[i + 1], "FileBytes"), u"5"_qs);
    }
}

TEST(CatalogDocument, DeepTreesCloseEveryElement)
{
    TreeBuilder builder("/deep");
    NodeIndex parent = builder.add(0, "d", NodeKind::Folder);
    builder.add(0, "last", NodeKind::File, 1);
    constexpr int Levels = 3000; // the file grows with the square of the depth: every path is written
    for (int i = 1; i < Levels; ++i)
        parent = builder.add(parent, "d", NodeKind::Folder);
    const std::shared_ptr<const CatalogTree> tree = builder.finish();

    CatalogDocument catalog;
    catalog.BuildCatalog(ExportRows::wholeTree(tree, TreeOrder(*tree)));
    const QByteArray xml = catalog.toXml();
    EXPECT_EQ(xml.count("</file>"), Levels); // the top and every folder but the innermost
    EXPECT_TRUE(xml.endsWith("DOSName=\"last\" FileCount=\"1\"/></file></fileinfo>\n"))
        << xml.right(80).data();
    EXPECT_EQ(xml.count("<file "), Levels + 2);
}

TEST(CatalogDocument, TreesTooDeepForLibxml2AreWrittenWithAWarning)
{
    // xmllint stands for the readers built on libxml2: the warning comes exactly where
    // they stop reading without --huge.
    const auto xmllint = [](const QStringList &args) {
        QProcess lint;
        lint.start(u"xmllint"_qs, args);
        return lint.waitForFinished(60000) && lint.exitStatus() == QProcess::NormalExit ? lint.exitCode()
                                                                                        : -1;
    };
    ASSERT_EQ(xmllint({u"--version"_qs}), 0) << "xmllint is needed: scripts/install-deps.sh installs it";
    QTemporaryDir dir;
    const QString path = dir.filePath(u"deep.xml"_qs);
    const struct
    {
        std::uint32_t deepest; // levels of folders below the top
        bool warned;
    } cases[] = {
        {CatalogReadableDepth, false},
        {CatalogReadableDepth + 1, true},
    };
    for (const auto &c : cases) {
        TreeBuilder builder("/deep");
        NodeIndex parent = 0;
        for (std::uint32_t level = 0; level < c.deepest; ++level)
            parent = builder.add(parent, "d", NodeKind::Folder);
        const std::shared_ptr<const CatalogTree> tree = builder.finish();
        ExportControl control;
        ASSERT_EQ(SaveCatalog(path, ExportRows::wholeTree(tree, TreeOrder(*tree)), &control), QString());
        EXPECT_EQ(xmllint({u"--noout"_qs, path}) == 0, !c.warned) << c.deepest;
        EXPECT_EQ(xmllint({u"--noout"_qs, u"--huge"_qs, path}), 0) << c.deepest;
        ASSERT_EQ(control.warnings().size(), c.warned ? 1 : 0) << c.deepest;
        if (c.warned) {
            EXPECT_TRUE(control.warnings()[0].contains(QString::number(c.deepest) + u" levels"_qs))
                << control.warnings()[0].toStdString();
        }
    }
}

TEST(CatalogDocument, WalkMatchesColumnNamesWithoutBlanks)
{
    const struct
    {
        const char *column;
        int field;
    } cases[] = {
        {"File Name Length", FileNameLength},
        {"FileNameLength", FileNameLength},
        {"file name length", -1},
        {"File Size", FileBytes},
        {"FileSize", FileBytes},
        {"FileBytes", -1},
        {"Size Range", SizeRange},
        {"SizeRange", SizeRange},
        {"Bogus", -1},
        {"", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CatalogDocument::WalkFieldOf(QString::fromUtf8(c.column)), c.field) << c.column;
}

TEST(CatalogDocument, SavingReplacesTheFileWholeOrNotAtAll)
{
    Nested scan;
    CatalogDocument catalog;
    catalog.BuildCatalog(ExportRows::wholeTree(scan.tree, scan.order));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"catalog.xml"_qs);
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    EXPECT_EQ(catalog.SaveCatalog(path), QString());
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), catalog.toXml());

    EXPECT_FALSE(catalog.SaveCatalog(dir.filePath(u"missing/catalog.xml"_qs)).isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {u"catalog.xml"_qs});
}
