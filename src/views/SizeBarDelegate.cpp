#include "SizeBarDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLocale>
#include <QPainter>

#include <algorithm>

namespace {

// A light blue that the text stays readable on, selected or not.
const QColor BarColor(70, 140, 230, 90);

} // namespace

std::optional<double> SizeBarDelegate::shareOf(const QModelIndex &index)
{
    QString text = index.data(Qt::DisplayRole).toString().trimmed();
    if (text.endsWith(u'%'))
        text.chop(1);
    if (text.isEmpty())
        return std::nullopt;
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        text.replace(point, QStringLiteral("."));
    bool ok = false;
    const double percent = text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return std::clamp(percent / 100.0, 0.0, 1.0);
}

void SizeBarDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const std::optional<double> share = m_shown ? shareOf(index) : std::nullopt;
    if (!share) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const QString text = opt.text;
    // Background, selection and focus first, then the bar, then the text over it.
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect area = opt.rect.adjusted(2, 3, -2, -3);
    const int width = int(area.width() * *share + 0.5);
    if (width > 0) {
        QRect bar = area;
        bar.setWidth(width);
        painter->fillRect(bar, BarColor);
    }

    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
        : (opt.state & QStyle::State_Active)                                ? QPalette::Normal
                                                                            : QPalette::Inactive;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, int(opt.displayAlignment),
        opt.fontMetrics.elidedText(text, opt.textElideMode, textRect.width()));
    painter->restore();
}

SizeBarDelegate *SizeBarDelegate::install(QAbstractItemView &view, const ListColumns &columns)
{
    auto *delegate = view.findChild<SizeBarDelegate *>(QString(), Qt::FindDirectChildrenOnly);
    if (!delegate)
        delegate = new SizeBarDelegate(&view);
    for (int i = 0; i < columns.size(); ++i) {
        const bool bars = columns[i].field == SizePercentage;
        if (bars)
            view.setItemDelegateForColumn(i, delegate);
        else if (view.itemDelegateForColumn(i) == delegate)
            view.setItemDelegateForColumn(i, nullptr);
    }
    return delegate;
}
