#include "CatalogDocument.h"

#include "CatalogFields.h"
#include "ExportOutput.h"
#include "MarkupReference.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD"; // U+FFFD

// An attribute value as XML 1.0 holds it. Tab, CR and LF become references, because
// a parser turns them into spaces when they stand in an attribute as they are.
// Bytes an attribute value cannot hold as they are: markup, tab, CR, LF and the other
// control characters, and 0xEF, which may begin U+FFFE or U+FFFF.
constexpr std::array<bool, 256> Special = [] {
    std::array<bool, 256> special {};
    for (int c = 0; c < 0x20; ++c)
        special[std::size_t(c)] = true;
    for (const int c : {int('&'), int('<'), int('>'), int('"'), 0xEF})
        special[std::size_t(c)] = true;
    return special;
}();

void appendValue(ExportOutput &out, std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t plain = 0; // start of the run of bytes that go out as they are
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (!Special[c])
            continue;
        const char *reference = nullptr;
        std::size_t width = 1;
        if (c == 0xEF) {
            // U+FFFE and U+FFFF are not characters in XML.
            if (i + 2 < n && p[i + 1] == 0xBF && (p[i + 2] == 0xBE || p[i + 2] == 0xBF)) {
                reference = Replacement.data();
                width = 3;
            }
        } else {
            reference = MarkupReference(char(c));
            if (reference == nullptr)
                reference = Replacement.data(); // the other control characters
        }
        if (reference == nullptr)
            continue;
        out.put(bytes.substr(plain, i - plain));
        out.put(reference);
        i += width - 1;
        plain = i + 1;
    }
    out.put(bytes.substr(plain));
}

// ` FileName="` and so on: each attribute's opening in one piece. Made at first use,
// not at start-up, where the order of other files' tables is not given.
const std::array<std::string, CatalogFieldCount> &attributeOpenings()
{
    static const std::array<std::string, CatalogFieldCount> openings = [] {
        std::array<std::string, CatalogFieldCount> made;
        for (std::size_t field = 0; field < made.size(); ++field)
            made[field] = std::string(" ") + CatalogFieldTable[field].attribute + "=\"";
        return made;
    }();
    return openings;
}

} // namespace

void WriteCatalog(
    ExportOutput &out, const ExportRows &rows, ExportControl *control, const QStringList &columns)
{
    // The record's fields, and those after them that a column shows.
    std::array<bool, CatalogFieldCount> written {};
    for (int field = 0; field < RecordFieldCount; ++field)
        written[std::size_t(field)] = true;
    for (const QString &column : columns) {
        if (const std::optional<int> field = FieldOfColumn(column))
            written[std::size_t(*field)] = true;
    }
    out.put("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n");
    out.put("<fileinfo generated=\"");
    out.put(CatalogGenerator);
    if (rows.empty()) {
        out.put("\"/>\n");
        return;
    }
    out.put("\">");
    const std::array<std::string, CatalogFieldCount> &openings = attributeOpenings();
    std::string value;
    std::uint32_t deepest = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out.put("<file");
        for (int field = 0; field < CatalogFieldCount; ++field) {
            if (!written[std::size_t(field)])
                continue;
            value.clear();
            rows.appendUtf8(r, field, value);
            if (value.empty())
                continue;
            out.put(openings[std::size_t(field)]);
            appendValue(out, value);
            out.put('"');
        }
        // Pre-order: the next row is a child of this one, or closes some ancestors.
        const std::uint32_t depth = rows.depth(r);
        deepest = std::max(deepest, depth);
        const std::uint32_t next = r + 1 < rows.size() ? rows.depth(r + 1) : 0;
        if (r + 1 < rows.size() && next > depth) {
            out.put('>');
        } else {
            out.put("/>");
            for (std::uint32_t d = depth; d > next; --d)
                out.put("</file>");
        }
        if (!out.rowDone())
            return;
    }
    out.put("</fileinfo>\n");
    if (control && deepest > CatalogReadableDepth)
        control->warn(QStringLiteral("the XML catalog nests entries %1 levels below its top; readers "
                                     "built on libxml2, such as xmllint, refuse more than %2 unless "
                                     "told to accept huge documents (xmllint --huge)")
                          .arg(deepest)
                          .arg(CatalogReadableDepth));
}

QString SaveCatalog(
    const QString &path, const ExportRows &rows, ExportControl *control, const QStringList &columns)
{
    return ExportOutput::toFile(
        path, control, [&](ExportOutput &out) { WriteCatalog(out, rows, control, columns); });
}

void CatalogDocument::WriteCatalog(ExportOutput &out) const
{
    ::WriteCatalog(out, m_rows);
}

QString CatalogDocument::SaveCatalog(const QString &path) const
{
    return ::SaveCatalog(path, m_rows);
}

QByteArray CatalogDocument::toXml() const
{
    QByteArray bytes;
    ExportOutput out(bytes);
    WriteCatalog(out);
    out.flush();
    return bytes;
}

int CatalogDocument::WalkFieldOf(QStringView column)
{
    return FieldOfColumn(column, ColumnMatch::IgnoringBlanks).value_or(-1);
}

const char *CatalogDocument::AttributeOf(int field)
{
    return field >= 0 && field < CatalogFieldCount ? CatalogFieldTable[std::size_t(field)].attribute : "";
}
