#pragma once

#include "CatalogTree.h"

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

// Icons of the name column: a folder, a folder that could not be read, a file, and
// the desktop theme's icon for a file's type, found by its name alone (never by
// reading the file) and cached per extension. Where the desktop has no icon theme
// the style's folder and file icons stand in. Needs a QApplication (the style).
class FileIcons
{
public:
    FileIcons();

    QIcon folder() const { return m_folder; }
    // The folder icon with a warning mark over its lower right corner.
    QIcon unreadableFolder() const { return m_unreadable; }
    QIcon file() const { return m_file; }
    // The icon of a file called `name` (its extension decides).
    QIcon forFileName(const QString &name);
    // The icon of a node of a scan: by kind, mark and name.
    QIcon forNode(const CatalogTree &tree, NodeIndex node);

private:
    QIcon typeIcon(const QString &extension);

    QMimeDatabase m_mime;
    QIcon m_folder;
    QIcon m_unreadable;
    QIcon m_file;
    QHash<QString, QIcon> m_byExtension; // key: the extension in lower case, "" for none
};
