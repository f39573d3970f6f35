// The export writers (WriteExport) over rows of a tree made from the input, with
// names of arbitrary bytes, column names and a title of arbitrary text: each file is
// read back strictly and must give back every header and value. CSV and text: an
// RFC 4180 reader finds one field a column in every record. XML: well-formed, one
// element a row, nested as the rows, each value as written (what XML cannot hold as
// U+FFFD). HTML: markup only where the page has it, every name escaped. Workbook: a
// complete zip whose every part inflates to its size and CRC-32, its XML parts
// well-formed, one sheet row a row and one cell a column.
#include "DelimitedReader.h"
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "FuzzedTree.h"
#include "HtmlTableReader.h"
#include "XmlCheck.h"
#include "ZipReader.h"

#include "CatalogDocument.h"
#include "CatalogFields.h"
#include "ExportFormat.h"
#include "ExportOutput.h"
#include "ExportRows.h"
#include "NodeLists.h"
#include "TableExport.h"
#include "TreeOrder.h"

#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace {

struct Export
{
    ExportRows rows;
    QStringList columns;
    QString title;
    std::vector<std::string> header; // the column names in UTF-8
    std::vector<std::vector<std::string>> values; // a row's values in UTF-8, column by column
};

QString textFrom(FuzzedDataProvider &input, std::size_t most)
{
    return QString::fromStdString(input.ConsumeRandomLengthString(most));
}

Export exportFrom(FuzzedDataProvider &input)
{
    Export e;
    const int columns = input.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < columns; ++i) {
        // A field's key, or a name no field has (it exports File Name under its own header).
        e.columns.append(
            input.ConsumeBool() ? input.PickValueInArray(CatalogFieldNames).toString() : textFrom(input, 12));
    }
    e.title = textFrom(input, 16);
    const std::shared_ptr<const CatalogTree> tree = MakeFuzzedTree(input);
    TreeOrder order(*tree);
    order.sortBy(*tree, input.ConsumeIntegralInRange(0, CatalogFieldCount - 1),
        input.ConsumeBool() ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (input.ConsumeBool()) {
        e.rows = ExportRows::wholeTree(tree, order);
    } else {
        const auto current = input.ConsumeIntegralInRange<NodeIndex>(0, NodeIndex(tree->nodeCount() - 1));
        e.rows = ExportRows::flat(PathListRows(tree, order, current));
    }
    for (const QString &column : e.columns)
        e.header.push_back(column.toStdString());
    for (std::size_t r = 0; r < e.rows.size(); ++r) {
        std::vector<std::string> row;
        for (const QString &column : e.columns) {
            row.emplace_back();
            e.rows.appendUtf8(r, FieldIndexOf(column), row.back());
        }
        e.values.push_back(std::move(row));
    }
    return e;
}

QByteArray written(ExportFormat format, const Export &e)
{
    QByteArray bytes;
    ExportOutput out(bytes);
    const QString error = WriteExport(format, e.rows, e.columns, e.title, out);
    FuzzRequire(error.isEmpty(), "an export to memory failed", error.toStdString());
    return bytes;
}

void checkDelimited(const Export &e, ExportFormat format, const std::string &separator)
{
    const QByteArray bytes = written(format, e);
    if (e.rows.empty()) {
        FuzzRequire(bytes.isEmpty(), "an empty list did not give an empty file");
        return;
    }
    const DelimitedReading read = ReadDelimited(bytes, separator);
    FuzzRequire(read.error.empty(), "a delimited export does not read back",
        [&] { return read.error + "\n" + Shown(QByteArrayView(bytes)); });
    FuzzRequire(read.records.size() == e.rows.size() + 1, "a delimited export has not one line a row",
        [&] { return Shown(QByteArrayView(bytes)); });
    // With no columns every line is empty, which reads as one empty field.
    const auto expected = [&](const std::vector<std::string> &fields) {
        return fields.empty() ? std::vector<std::string> {std::string()} : fields;
    };
    FuzzRequire(read.records[0] == expected(e.header), "a delimited export's header does not read back",
        [&] { return Shown(QByteArrayView(bytes)); });
    for (std::size_t r = 0; r < e.values.size(); ++r)
        FuzzRequire(read.records[r + 1] == expected(e.values[r]),
            "a delimited export's row does not read back",
            [&] { return "row " + std::to_string(r) + ":\n" + Shown(QByteArrayView(bytes)); });
}

void checkHtml(const Export &e)
{
    const QByteArray bytes = written(ExportFormat::Html, e);
    if (e.rows.empty()) {
        FuzzRequire(bytes.isEmpty(), "an empty list did not give an empty page");
        return;
    }
    const HtmlTable page = ReadHtmlTable(bytes);
    const auto shown = [&] { return page.error + "\n" + Shown(QByteArrayView(bytes)); };
    FuzzRequire(page.error.empty(), "the HTML page does not read back", shown);
    FuzzRequire(page.heading == e.title.toStdString(), "the page's heading is not the title", shown);
    FuzzRequire(page.rows.size() == e.rows.size() + 1, "the page has not one table row a row", shown);
    FuzzRequire(page.rows[0].cells == e.header && (e.header.empty() || page.rows[0].cellClass == "ThRows"),
        "the page's header row is not the column names", shown);
    for (std::size_t r = 0; r < e.values.size(); ++r) {
        const HtmlRow &row = page.rows[r + 1];
        FuzzRequire(row.cells == e.values[r], "a table row does not read back", shown);
        FuzzRequire(row.cells.empty() || row.cellClass == (r % 2 == 0 ? "TrARow" : "TrBRow"),
            "table rows do not alternate their classes", shown);
    }
}

// An attribute value as the catalog writes it and a conforming reader reads it back:
// what XML cannot hold (control characters but tab, CR and LF; U+FFFE, U+FFFF) as U+FFFD.
QString xmlValue(const std::string &utf8)
{
    QString text = Utf8Text(QByteArrayView(utf8));
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
            c = QChar(0xFFFD);
    }
    return text;
}

void checkXml(const Export &e)
{
    const QByteArray bytes = written(ExportFormat::Xml, e);
    const XmlReading read = ReadXml(bytes);
    const auto shown = [&] { return read.error.toStdString() + "\n" + Shown(QByteArrayView(bytes)); };
    FuzzRequire(read.error.isEmpty(), "the XML export is not well-formed", shown);
    std::vector<XmlElement> expected {
        {0, QStringLiteral("fileinfo"), {{QStringLiteral("generated"), QStringLiteral("Folvane")}}}};
    for (std::size_t r = 0; r < e.rows.size(); ++r) {
        XmlElement file {int(e.rows.depth(r)) + 1, QStringLiteral("file"), {}};
        for (int field = 0; field < CatalogFieldCount; ++field) {
            // The record's fields, and a later one where a column shows it.
            const auto showsField = [field](const QString &column) { return FieldOfColumn(column) == field; };
            if (field >= RecordFieldCount && std::none_of(e.columns.begin(), e.columns.end(), showsField))
                continue;
            std::string value;
            e.rows.appendUtf8(r, field, value);
            if (!value.empty())
                file.attributes.emplace_back(
                    QString::fromLatin1(CatalogDocument::AttributeOf(field)), xmlValue(value));
        }
        expected.push_back(std::move(file));
    }
    FuzzRequire(read.elements == expected, "the XML export does not read back as the rows",
        [&] { return "read:\n" + Described(read.elements) + "expected:\n" + Described(expected); });
}

void checkWorkbook(const Export &e)
{
    const QString path = FuzzFolder::instance().file("export.xlsx");
    const QString error = WriteExport(ExportFormat::Workbook, e.rows, e.columns, e.title, path);
    FuzzRequire(error.isEmpty(), "a workbook could not be written", error.toStdString());
    QFile file(path);
    FuzzRequire(file.open(QIODevice::ReadOnly), "the workbook is not there");
    const ZipReading zip = ReadZip(file.readAll());
    FuzzRequire(zip.error.empty(), "the workbook is no complete zip", zip.error);
    for (const char *part : {"[Content_Types].xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"})
        FuzzRequire(zip.entries.count(part) == 1, "the workbook lacks a part", part);
    for (const auto &entry : zip.entries) {
        const std::string &name = entry.first;
        const QByteArray &content = entry.second;
        if (!name.ends_with(".xml") && !name.ends_with(".rels"))
            continue;
        const XmlReading part = ReadXml(content);
        FuzzRequire(part.error.isEmpty(), "a part of the workbook is not well-formed",
            [&] { return name + ": " + part.error.toStdString() + "\n" + Shown(QByteArrayView(content)); });
    }
    // One sheet row a row below the title and header rows, one cell a column after
    // the serial number.
    const XmlReading sheet = ReadXml(zip.entries.at("xl/worksheets/sheet1.xml"));
    std::vector<std::size_t> cells;
    int rowDepth = -1;
    for (const XmlElement &element : sheet.elements) {
        if (element.name == u"row") {
            cells.push_back(0);
            rowDepth = element.depth;
        } else if (element.name == u"c" && element.depth == rowDepth + 1) {
            ++cells.back();
        }
    }
    FuzzRequire(cells.size() == e.rows.size() + 2, "the sheet has not one row a row",
        std::to_string(cells.size()) + " sheet rows for " + std::to_string(e.rows.size()));
    for (std::size_t r = 2; r < cells.size(); ++r)
        FuzzRequire(cells[r] == std::size_t(e.columns.size()) + 1, "a sheet row has not one cell a column",
            "row " + std::to_string(r + 1));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Times are written in local time: one zone and locale for the whole run.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // The workbook takes most of the time: not every input writes one.
    const bool workbook = input.ConsumeIntegralInRange(0, 3) == 0;
    const Export e = exportFrom(input);
    checkDelimited(e, ExportFormat::Csv, ",");
    checkDelimited(e, ExportFormat::Text, std::string(10, ' '));
    checkHtml(e);
    checkXml(e);
    if (workbook) {
        checkWorkbook(e);
        FuzzFolder::instance().clear();
    }
    return 0;
}
