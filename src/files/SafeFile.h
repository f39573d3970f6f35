#pragma once

#include "TemporaryFiles.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <string>
#include <string_view>
#include <sys/types.h>

// File operations for what the program writes and reads back (the configuration, the
// exports), in POSIX calls so that every failure keeps the system's own reason (errno)
// and nothing can block, follow a link it should not, or replace a file it should not.
// Paths are the exact bytes handed to the system.
namespace SafeFile {

// No configuration comes near this; anything larger is not one and is left alone.
inline constexpr qint64 MaxSize = qint64 {16} * 1024 * 1024;

struct Contents
{
    enum Status {
        Read, // `bytes` holds the whole file
        Missing, // nothing stands at the path (or a link points at nothing)
        NotRegular, // a FIFO, a device, a folder, a socket or a kernel interface file
        TooLarge, // a regular file beyond MaxSize
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

// The same replacement written piece by piece, for files too big to build in memory
// (exports of millions of rows). The new file is made beside the target when the
// object is made; write() buffers, commit() syncs it and renames it over the target.
// Anything not committed, a failed write included, is removed again: the target is
// never touched before the new file is complete. The first failure is kept and every
// later call returns it. The new file is registered with TemporaryFiles meanwhile, so
// that a signal that ends the program removes it too.
//
// `stop`, when given, may be set by another thread to abandon the file: the next
// write(), proceed() or commit() then fails with ECANCELED and removes it.
class Replacement
{
public:
    explicit Replacement(const QByteArray &path, const std::atomic<bool> *stop = nullptr);
    ~Replacement();
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;

    // Empty, or why the file cannot be (or could not be) written.
    QString error() const;
    bool ok() const { return m_errno == 0 && m_problem.isEmpty(); }
    // The file being written, for a writer that fills it by its own means (it may
    // replace its content but must leave it at this name).
    const QByteArray &temporaryPath() const { return m_temporary; }

    // Never throws: running out of memory for the buffer fails the file with ENOMEM,
    // so that no piece goes missing from a file that is then renamed as complete.
    bool write(std::string_view bytes);
    // False once the file failed or was stopped: for a writer that fills the file by
    // its own means, to ask between its pieces.
    bool proceed();
    // Flushes, syncs, renames over the target. Returns an empty text or the reason.
    QString commit();

private:
    bool flush();
    void fail(int error);
    void discard();

    QByteArray m_target;
    QByteArray m_temporary;
    TemporaryFiles::Registration m_registration;
    const std::atomic<bool> *m_stop = nullptr;
    int m_fd = -1;
    std::string m_buffer;
    // The first failure: a system error, kept as its number so that failing needs no
    // memory, or a problem found before the file was made.
    int m_errno = 0;
    QString m_problem;
    bool m_committed = false;
};

struct Copy
{
    QString error; // empty, or why no copy could be made
    QByteArray name; // the copy that holds the bytes
    bool made = false; // false when an earlier copy already held exactly these bytes
};

// Keeps `bytes` in a new file "<base>", "<base>.1", "<base>.2" ..., each created
// exclusively and never through a link, so no earlier copy and no other file is
// replaced. An earlier copy with the very same bytes is used instead of a new one.
// A new copy gets the permission bits `mode` (less the umask).
Copy keepCopy(const QByteArray &base, std::string_view bytes, mode_t mode);

// Writes all of `bytes` to `fd`, again after EINTR and short writes; 0 or an errno value.
int writeAll(int fd, std::string_view bytes);

// The system's text for an errno value.
QString reason(int error);

} // namespace SafeFile
