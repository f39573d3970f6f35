#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <sys/types.h>

// The configuration's file operations, in POSIX calls so that every failure keeps the
// system's own reason (errno) and nothing can block, follow a link it should not, or
// replace a file it should not. Paths are the exact bytes handed to the system.
namespace ConfigFile {

// No configuration comes near this; anything larger is not one and is left alone.
inline constexpr qint64 MaxSize = 16 * 1024 * 1024;

struct Contents
{
    enum Status {
        Read,       // `bytes` holds the whole file
        Missing,    // nothing stands at the path (or a link points at nothing)
        NotRegular, // a FIFO, a device, a folder, a socket or a kernel interface file
        TooLarge,   // a regular file beyond MaxSize
        Unreadable, // open or read failed
    };
    Status status = Missing;
    std::string bytes;
    mode_t mode = 0; // permission bits of a regular file
    // For NotRegular what it is ("a FIFO"); for Unreadable the system's reason.
    QString reason;
};

// Opens without blocking (a FIFO with no writer, a terminal) and looks at what was
// opened before reading, so a device or a file in /proc is never read. Reads at most
// MaxSize + 1 bytes. May throw std::bad_alloc.
Contents read(const QByteArray &path);

// The file a chain of symbolic links ends at (the path itself when it is no link),
// whether or not that file exists. Returns an empty text or the reason it cannot be
// found (a loop of links, a folder that may not be searched).
QString resolveLinks(const QByteArray &path, QByteArray &target);

// Replaces the file at `path` (through any symbolic links: the file they end at) with
// `bytes` as one step: a new file is written and synced in the same folder and renamed
// over it, so a failure leaves the old file as it was. An existing file keeps its
// permission bits and, for root, its owner; one that is not a regular file, or that the
// user may not write, is not replaced. Returns an empty text or the reason.
QString replace(const QByteArray &path, std::string_view bytes);

struct Copy
{
    QString error;     // empty, or why no copy could be made
    QByteArray name;   // the copy that holds the bytes
    bool made = false; // false when an earlier copy already held exactly these bytes
};

// Keeps `bytes` in a new file "<base>", "<base>.1", "<base>.2" ..., each created
// exclusively and never through a link, so no earlier copy and no other file is
// replaced. An earlier copy with the very same bytes is used instead of a new one.
// A new copy gets the permission bits `mode` (less the umask).
Copy keepCopy(const QByteArray &base, std::string_view bytes, mode_t mode);

// The system's text for an errno value.
QString reason(int error);

} // namespace ConfigFile
