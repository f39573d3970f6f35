#pragma once

#include "ListColumn.h"

#include <QStyledItemDelegate>

#include <optional>

class QAbstractItemView;

// Paints a bar of an entry's share behind the number of a Size Percentage cell, so
// that the large entries of a list stand out at a glance. The text, and so the
// sorting, stay the model's own: the bar is read from the text the cell shows.
class SizeBarDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Off: the cells are painted as without the delegate.
    void setShown(bool shown) { m_shown = shown; }
    bool isShown() const { return m_shown; }

    void paint(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The share a Size Percentage cell stands for, from 0 to 1, read from its text
    // ("12.34%", the decimal point the locale's); none for an empty or unreadable text.
    static std::optional<double> shareOf(const QModelIndex &index);

    // Puts a delegate of `view` (made once, owned by the view) on every column of
    // `columns` that shows Size Percentage, and takes it off the others. Returns it.
    static SizeBarDelegate *install(QAbstractItemView &view, const ListColumns &columns);

private:
    bool m_shown = true;
};
