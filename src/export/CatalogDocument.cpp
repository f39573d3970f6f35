#include "CatalogDocument.h"

#include "CatalogFields.h"
#include "ExportOutput.h"

#include <QFile>

#include <array>
#include <string_view>

namespace {

constexpr std::array<const char *, CatalogFieldCount> Attributes = {
    "FileName",       "FullPath",       "FileBytes",     "FileExt",        "FileType",
    "Description",    "FileNameLength", "PathNameLength", "SizePercentage", "CatalogName",
    "CreateTime",     "AccessTime",     "WriteTime",     "DOSName",        "FileCount",
    "CreateAgeRange", "AccessAgeRange", "WriteAgeRange", "SizeRange",
};

constexpr std::string_view Replacement = "\xEF\xBF\xBD"; // U+FFFD

// An attribute value as XML 1.0 holds it. Tab, CR and LF become references, because
// a parser turns them into spaces when they stand in an attribute as they are.
void appendValue(ExportOutput &out, std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t plain = 0; // start of the run of bytes that go out as they are
    const auto flush = [&](std::size_t end) { out.put(bytes.substr(plain, end - plain)); };
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        const char *reference = nullptr;
        std::size_t width = 1;
        switch (c) {
        case '&': reference = "&amp;"; break;
        case '<': reference = "&lt;"; break;
        case '>': reference = "&gt;"; break;
        case '"': reference = "&quot;"; break;
        case '\t': reference = "&#9;"; break;
        case '\n': reference = "&#10;"; break;
        case '\r': reference = "&#13;"; break;
        default:
            if (c < 0x20) {
                reference = Replacement.data();
            } else if (c == 0xEF && i + 2 < n && p[i + 1] == 0xBF && (p[i + 2] == 0xBE || p[i + 2] == 0xBF)) {
                // U+FFFE and U+FFFF are not characters in XML.
                reference = Replacement.data();
                width = 3;
            }
        }
        if (reference == nullptr)
            continue;
        flush(i);
        out.put(reference);
        i += width - 1;
        plain = i + 1;
    }
    flush(n);
}

void appendAttribute(ExportOutput &out, const char *name, std::string_view value)
{
    out.put(' ');
    out.put(name);
    out.put("=\"");
    appendValue(out, value);
    out.put('"');
}

} // namespace

void CatalogDocument::WriteCatalog(ExportOutput &out) const
{
    const ExportRows &rows = m_rows;
    out.put("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n");
    out.put("<fileinfo generated=\"");
    out.put(CatalogGenerator);
    if (rows.empty()) {
        out.put("\"/>\n");
        return;
    }
    out.put("\">");
    std::string value;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out.put("<file");
        for (int field = 0; field < CatalogFieldCount; ++field) {
            value.clear();
            rows.appendUtf8(r, field, value);
            if (value.empty())
                continue;
            appendAttribute(out, Attributes[std::size_t(field)], value);
        }
        // Pre-order: the next row is a child of this one, or closes some ancestors.
        const std::uint32_t depth = rows.depth(r);
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
}

QString CatalogDocument::SaveCatalog(const QString &path) const
{
    ConfigFile::Replacement file(QFile::encodeName(path));
    {
        ExportOutput out(file);
        WriteCatalog(out);
    }
    return file.commit();
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
    QString wanted = column.toString();
    wanted.remove(u' ');
    for (int field = 0; field < CatalogFieldCount; ++field) {
        QString key = CatalogFieldNames[std::size_t(field)].toString();
        key.remove(u' ');
        if (key == wanted)
            return field;
    }
    return -1;
}

const char *CatalogDocument::AttributeOf(int field)
{
    return field >= 0 && field < CatalogFieldCount ? Attributes[std::size_t(field)] : "";
}
