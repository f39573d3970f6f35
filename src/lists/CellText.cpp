#include "CellText.h"

#include "CatalogFields.h"
#include "TCatalogNode.h"

#include <QLocale>

namespace {

// Digits stay ASCII in every locale, like the counts, percentages and times of
// the same row; only the separators are the locale's.
void makeDigitsAscii(QString &text)
{
    bool ascii = true;
    for (const QChar c : std::as_const(text))
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        }
        if (cp >= 0x80 && QChar::category(cp) == QChar::Number_DecimalDigit)
            out += QChar(u'0' + QChar::digitValue(cp));
        else
            out += QStringView(text).mid(i, length);
        i += length - 1;
    }
    text = std::move(out);
}

} // namespace

QString SizeCellText(double bytes)
{
    constexpr double KiB = 1024.0;
    constexpr double MiB = 1048576.0;
    constexpr double GiB = 1073741824.0;
    double shown = bytes;
    QStringView unit = u" B";
    if (bytes >= GiB) {
        shown = bytes / GiB;
        unit = u" GB";
    } else if (bytes >= MiB) {
        shown = bytes / MiB;
        unit = u" MB";
    } else if (bytes >= KiB) {
        shown = bytes / KiB;
        unit = u" KB";
    }
    QString text = QLocale().toString(shown, 'f', 2);
    makeDigitsAscii(text);
    text += unit;
    return text;
}

QString CellText(int field, const CatalogTree &tree, NodeIndex node, std::optional<double> listTotal)
{
    if (field == FileBytes) {
        const CatalogNodeData &n = tree.node(node);
        // The size text is the exact byte count; read as a number it is this double.
        return n.has(CatalogNodeData::HasSize) ? SizeCellText(double(n.size)) : QString();
    }
    QString text = tree.fieldText(node, field, listTotal);
    if (field == SizePercentage && !text.isEmpty())
        text += u'%';
    return text;
}

QString CellText(int field, const TCatalogNode &record)
{
    if (record.isNull() || field < 0 || field >= CatalogFieldCount)
        return QString();
    if (field == FileBytes)
        return CellText(field, *record.tree(), record.index());
    // Through the record: a row of a list has its own percentage total.
    QString text = record.text(field);
    if (field == SizePercentage && !text.isEmpty())
        text += u'%';
    return text;
}
