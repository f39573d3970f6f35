#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <Qt>

// One column of a list view as the column catalogue sets it up: column i of every
// list is catalogue entry i. Width, display position and visibility belong to the
// view's header; this is what the model needs.
struct ListColumn
{
    QString header;  // the entry's Name
    int field = 0;   // FieldIndexOf(header): a name no field has shows FileName
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QColor background; // read-only columns: RGB 239, 243, 255; others: the tooltip colour
};

using ListColumns = QList<ListColumn>;
