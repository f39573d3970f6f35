#pragma once

#include "Descriptor.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <vector>

// Deletes a folder with everything below it through folder descriptors: each folder
// is opened relative to the one holding it, never through a symbolic link and never
// on another file system than the folder's own, and each name is removed with
// unlinkat in the folder open, so no path below the folder is ever resolved and a
// link is removed as the link. Depth costs nothing: only the deepest few folders
// stay open, and one closed on the way down is opened again from its child through
// "..", checked to be the very folder it was.
//
// The deletion stops at the first entry it cannot remove: that entry, what its
// folder still holds, and the folders above it up to the one chosen stay.
class FolderEraser
{
public:
    struct Result
    {
        QString reason; // empty: everything is gone
        int error = 0; // the system's reason, where it gave one
        QByteArray stoppedAt; // the entry the deletion stopped at
        std::uint64_t removed = 0; // entries removed, the folder counted

        bool complete() const { return reason.isEmpty(); }
    };

    // Deletes `name` of the folder open at `holder`: the folder at `path`, on
    // `device` with `inode` as it was checked (anything else there is left alone).
    static Result erase(
        int holder, const QByteArray &name, const QByteArray &path, dev_t device, ino_t inode);

private:
    struct Level
    {
        Descriptor fd; // closed for all but the deepest few
        QByteArray name;
        dev_t device = 0;
        ino_t inode = 0;
        std::vector<QByteArray> names; // the folder's listing, taken as it was entered
        std::size_t next = 0;
    };

    FolderEraser(const QByteArray &path, dev_t device) : m_path(path), m_device(device) { }
    Result run(int holder, const QByteArray &name, ino_t inode);
    bool enter(int holder, const QByteArray &name, dev_t device, ino_t inode);
    bool reopenAbove(const Level &below);
    bool fail(const QByteArray &name, int error, const QString &reason = QString());
    QByteArray pathOf(const QByteArray &name) const;

    QByteArray m_path;
    dev_t m_device;
    std::vector<Level> m_levels;
    std::size_t m_firstOpen = 0; // the levels before it have their descriptors closed
    Result m_result;
};
