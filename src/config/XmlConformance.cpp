#include "XmlConformance.h"

#include <QXmlStreamReader>

#include <initializer_list>
#include <utility>

namespace {

// XML 1.0's NameStartChar, as code point ranges.
bool nameStart(char32_t c)
{
    constexpr std::pair<char32_t, char32_t> Ranges[] = {{':', ':'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'},
        {0xC0, 0xD6}, {0xD8, 0xF6}, {0xF8, 0x2FF}, {0x370, 0x37D}, {0x37F, 0x1FFF}, {0x200C, 0x200D},
        {0x2070, 0x218F}, {0x2C00, 0x2FEF}, {0x3001, 0xD7FF}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD},
        {0x10000, 0xEFFFF}};
    for (const auto &[first, last] : Ranges) {
        if (c >= first && c <= last)
            return true;
    }
    return false;
}

bool nameChar(char32_t c)
{
    return nameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7
        || (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

// QXmlStreamReader takes names XML does not have ("`a", "a×b").
bool isName(QStringView name)
{
    const QList<uint> points = name.toUcs4();
    if (points.isEmpty() || !nameStart(points.front()))
        return false;
    for (const uint c : points) {
        if (!nameChar(c))
            return false;
    }
    return true;
}

// XML has no character U+0000, but QXmlStreamReader lets it stand in values and text.
std::optional<QString> tokenFault(const QXmlStreamReader &reader)
{
    const auto nul = [](QStringView text) { return text.contains(QChar(u'\0')); };
    QStringList names;
    switch (reader.tokenType()) {
    case QXmlStreamReader::StartElement:
        names.append(reader.qualifiedName().toString());
        for (const QXmlStreamAttribute &a : reader.attributes()) {
            names.append(a.qualifiedName().toString());
            if (nul(a.value()))
                return QStringLiteral("a NUL character");
        }
        break;
    case QXmlStreamReader::ProcessingInstruction:
        names.append(reader.processingInstructionTarget().toString());
        if (nul(reader.processingInstructionData()))
            return QStringLiteral("a NUL character");
        break;
    case QXmlStreamReader::DTD:
        names.append(reader.dtdName().toString());
        break;
    default:
        break;
    }
    if (nul(reader.text()))
        return QStringLiteral("a NUL character");
    for (const QString &name : names) {
        if (!isName(name))
            return QStringLiteral("\"%1\" is not an XML name").arg(name);
    }
    return std::nullopt;
}

// pugixml reads UTF-8, UTF-16 and ISO-8859-1 (and takes any other declared encoding
// for UTF-8); QXmlStreamReader knows many more, or replaces what it cannot decode
// without a complaint (UTF-7, US-ASCII). A file is read only in an encoding both
// read alike.
bool readableEncoding(QStringView name)
{
    for (const QLatin1StringView known : {QLatin1StringView("UTF-8"), QLatin1StringView("UTF-16"),
             QLatin1StringView("ISO-8859-1"), QLatin1StringView("latin1")}) {
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Whether UTF-8 bytes end inside a character: a lead byte short of the bytes it
// announces. QXmlStreamReader waits for the rest and, at the end, says nothing.
bool endsInsideUtf8Character(QByteArrayView bytes)
{
    for (qsizetype back = 1; back <= 4 && back <= bytes.size(); ++back) {
        const auto b = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((b & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back;
    }
    return false;
}

} // namespace

std::optional<XmlConformanceFault> XmlConformanceFaultOf(QByteArrayView bytes)
{
    // The reader shares the bytes instead of copying a file of up to 16 MiB.
    QXmlStreamReader reader(QByteArray::fromRawData(bytes.data(), bytes.size()));
    reader.setNamespaceProcessing(false);
    bool started = false; // the root element or a document type seen
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        // QXmlStreamReader takes a document type anywhere, XML only once before the root.
        if (token == QXmlStreamReader::DTD && started)
            return XmlConformanceFault {
                QStringLiteral("a document type declaration after the start"), reader.lineNumber()};
        started = started || token == QXmlStreamReader::DTD || token == QXmlStreamReader::StartElement;
        if (token == QXmlStreamReader::StartDocument && !reader.documentEncoding().isEmpty()
            && !readableEncoding(reader.documentEncoding()))
            return XmlConformanceFault {
                QStringLiteral("the encoding \"%1\" is not read (UTF-8, UTF-16 or ISO-8859-1 are)")
                    .arg(reader.documentEncoding()),
                reader.lineNumber()};
        if (const std::optional<QString> fault = tokenFault(reader))
            return XmlConformanceFault {*fault, reader.lineNumber()};
    }
    if (reader.hasError())
        return XmlConformanceFault {reader.errorString(), reader.lineNumber()};
    const QString encoding = reader.documentEncoding().toString();
    const bool utf16 = bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xFF\xFE");
    if (!utf16 && (encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0)
        && endsInsideUtf8Character(bytes))
        return XmlConformanceFault {
            QStringLiteral("the file ends inside a UTF-8 character"), reader.lineNumber()};
    return std::nullopt;
}
