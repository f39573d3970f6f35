#pragma once

#include "ListColumn.h"

#include <QObject>
#include <QVariant>

#include <Qt>

class FileIcons;

// What the Total Tree's model and the flat lists' model have alike: the columns the
// catalogue sets up, their header, and the icons the cells show. `Base` is the Qt
// model each one is (a tree or a table); the rows are each model's own.
template <typename Base>
class ColumnListModel : public Base
{
public:
    explicit ColumnListModel(FileIcons &icons, QObject *parent = nullptr) : Base(parent), m_icons(icons) { }

    // Views keep their selection, and a tree its expanded folders, when the count
    // stays the same.
    void setColumns(const ListColumns &columns)
    {
        if (columns.size() != m_columns.size()) {
            this->beginResetModel();
            m_columns = columns;
            this->endResetModel();
            return;
        }
        // Same shape, other texts: a layout change repaints every row the views show
        // without closing any folder, which a reset would.
        emit this->layoutAboutToBeChanged();
        m_columns = columns;
        emit this->layoutChanged();
        if (!m_columns.isEmpty())
            emit this->headerDataChanged(Qt::Horizontal, 0, int(m_columns.size()) - 1);
    }
    const ListColumns &columns() const { return m_columns; }

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override
    {
        if (orientation != Qt::Horizontal)
            return Base::headerData(section, orientation, role);
        return ListHeaderData(m_columns, section, orientation, role);
    }

protected:
    FileIcons &m_icons;
    ListColumns m_columns;
};
