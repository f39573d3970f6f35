#include "CellText.h"

#include "CatalogFields.h"
#include "CatalogText.h"
#include "TCatalogNode.h"

#include <QLocale>

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
    // Digits stay ASCII in every locale, like the counts, percentages and times of
    // the same row; only the separators are the locale's.
    text = CatalogText::withAsciiDigits(std::move(text));
    text += unit;
    return text;
}

QString CellText(int field, const CatalogTree &tree, NodeIndex node, std::optional<double> listTotal)
{
    if (field == FileBytes || field == DiskUsage) {
        // The size text is the exact byte count; read as a number it is this double.
        const std::optional<std::uint64_t> bytes = CatalogFieldTable[std::size_t(field)].number(tree, node);
        return bytes ? SizeCellText(double(*bytes)) : QString();
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
    if (field == FileBytes || field == DiskUsage)
        return CellText(field, *record.tree(), record.index());
    // Through the record: a row of a list has its own percentage total.
    QString text = record.text(field);
    if (field == SizePercentage && !text.isEmpty())
        text += u'%';
    return text;
}
