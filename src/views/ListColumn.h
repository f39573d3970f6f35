#pragma once

#include "CatalogFields.h"
#include "CatalogTree.h"
#include "FileIcons.h"

#include <QBrush>
#include <QColor>
#include <QList>
#include <QString>
#include <QVariant>

#include <Qt>

#include <cstring>

// One column of a list view as the column catalogue sets it up: column i of every
// list is catalogue entry i. Width, display position and visibility belong to the
// view's header; this is what the model needs.
struct ListColumn
{
    QString header; // the entry's Name
    int field = 0; // FieldIndexOf(header): a name no field has shows FileName
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QColor background; // read-only columns: RGB 239, 243, 255; others: the tooltip colour
};

using ListColumns = QList<ListColumn>;

// The catalogue sets only the horizontal alignment; rows are centred vertically
// unless the column says otherwise.
inline int ListColumnAlignment(const ListColumn &column)
{
    Qt::Alignment alignment = column.alignment;
    if (!(alignment & Qt::AlignVertical_Mask))
        alignment |= Qt::AlignVCenter;
    return int(alignment);
}

// A cell's hint is its text; a folder that could not be read also says why, since
// the mark on its icon alone does not.
inline QString ListCellHint(QString text, int unreadableError)
{
    if (unreadableError == 0)
        return text;
    const QString reason = QString::fromLocal8Bit(std::strerror(unreadableError));
    if (text.isEmpty())
        return QStringLiteral("cannot be read: ") + reason;
    return text + QStringLiteral(" \u2014 cannot be read: ") + reason;
}

// What a cell of `column` shows of `node` of `tree` for the roles the list views
// ask. `makeText` makes the cell text: a tree cell and a row of a flat list (with
// its own percentage total) make it from different records. A row without a scan
// (`tree` null) has empty texts and no icon. Nothing is kept: every call asks the
// scan afresh.
template <typename MakeText>
QVariant ListCellData(const ListColumn &column, int role, const CatalogTree *tree, NodeIndex node,
    FileIcons &icons, MakeText makeText)
{
    switch (role) {
    case Qt::DisplayRole:
        return tree ? makeText() : QString();
    case Qt::ToolTipRole:
        return tree ? ListCellHint(makeText(), tree->unreadableError(node)) : QString();
    case Qt::DecorationRole:
        if (!tree || column.field != FileName)
            return {};
        return icons.forNode(*tree, node);
    case Qt::TextAlignmentRole:
        return ListColumnAlignment(column);
    case Qt::BackgroundRole:
        return column.background.isValid() ? QVariant(QBrush(column.background)) : QVariant();
    default:
        return {};
    }
}

// The header of a list's columns: the entry's Name, aligned as its cells are.
// Anything else is the caller's default (an empty QVariant here).
inline QVariant ListHeaderData(const ListColumns &columns, int section, Qt::Orientation orientation, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return columns[section].header;
    case Qt::TextAlignmentRole:
        return ListColumnAlignment(columns[section]);
    default:
        return {};
    }
}
