#pragma once

#include "CatalogTree.h"
#include "Descriptor.h"

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

// A chosen entry of a scan, found again on disk: the folder that holds it, open, and
// what the entry is now. That folder is reached from the scan's top one folder at a
// time, never through a symbolic link (as the scan walked), so an entry is acted on
// only where the scan found it, whatever was put in place of a folder on the way.
class ChosenEntry
{
public:
    ChosenEntry(const CatalogTree &tree, NodeIndex node);

    // Whether the entry may be acted on: it is still what the scan found (it exists,
    // a folder is still a folder, anything else still no folder), it is not the
    // scan's top, and no other file system is mounted on it. The scan records a
    // symbolic link as a file: a link become a folder is refused, a link replaced by
    // a file of its name is not told apart.
    bool usable() const { return m_reason.isEmpty(); }
    // Otherwise: why not, and whether that is a failure of the system (error() is
    // its errno value) rather than an entry that is no longer what it was.
    const QString &reason() const { return m_reason; }
    int error() const { return m_error; }

    const QByteArray &path() const { return m_path; }
    const QByteArray &name() const { return m_name; }
    // The folder holding the entry; open while usable().
    int folder() const { return m_folder.get(); }
    bool isFolder() const { return S_ISDIR(m_status.stx_mode); }
    dev_t device() const;
    ino_t inode() const { return ino_t(m_status.stx_ino); }

private:
    void check(const CatalogTree &tree, NodeIndex node);
    void refuse(const QString &reason, int error = 0);

    QByteArray m_path;
    QByteArray m_name;
    Descriptor m_folder;
    struct statx m_status
    { };
    QString m_reason;
    int m_error = 0;
};
