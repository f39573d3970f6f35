#include "TrashCan.h"

#include "ChosenEntry.h"
#include "Descriptor.h"
#include "SafeFile.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace {

// A record's name is the entry's trash name with ".trashinfo" and a number may be
// added: longer names are cut to fit a file name of 255 bytes.
constexpr qsizetype LongestBase = 255 - 10 - 7;

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Makes `path` and the folders above it that are missing, each open to its owner
// alone, as trash folders are. 0 or an errno value.
int makeFolders(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT || path == "/")
        return errno;
    if (const int error = makeFolders(parentOf(path)))
        return error;
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// The device `path` is on, or would be on once made: that of the nearest folder
// above it that exists.
std::optional<dev_t> deviceOf(QByteArray path)
{
    for (;;) {
        struct stat st;
        if (::stat(path.constData(), &st) == 0)
            return st.st_dev;
        if (path == "/" || path.isEmpty())
            return std::nullopt;
        path = parentOf(path);
    }
}

// The path the system gives the folder open at `fd`: where it is now, whatever
// links the scan's own path went through.
QByteArray realPathOf(int fd, const QByteArray &fallback)
{
    char buffer[4096];
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(proc.constData(), buffer, sizeof buffer);
    if (length > 0 && length < ssize_t(sizeof buffer) && buffer[0] == '/')
        return QByteArray(buffer, length);
    char *resolved = ::realpath(fallback.constData(), nullptr);
    if (!resolved)
        return fallback;
    QByteArray path(resolved);
    std::free(resolved);
    return path;
}

// The top of the file system `device` that holds `folder` (a path without links):
// the mount point above it.
QByteArray topOf(QByteArray folder, dev_t device)
{
    QByteArray below;
    for (;;) {
        struct statx sx;
        if (::statx(AT_FDCWD, folder.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE, &sx)
            != 0)
            return below.isEmpty() ? folder : below;
        if (makedev(sx.stx_dev_major, sx.stx_dev_minor) != device)
            return below.isEmpty() ? folder : below;
        if ((sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT))
            return folder;
        if (folder == "/")
            return folder;
        below = folder;
        folder = parentOf(folder);
    }
}

TrashCan::Outcome failure(const QString &reason, int error = 0)
{
    return {QByteArray(), reason, error};
}

// Moves the entry into the trash folder `bin`, recording `original` as its path.
TrashCan::Outcome putInto(const QByteArray &bin, const ChosenEntry &entry, const QByteArray &original)
{
    const QByteArray filesPath = bin + "/files";
    const QByteArray infoPath = bin + "/info";
    for (const QByteArray &folder : {filesPath, infoPath}) {
        if (const int error = makeFolders(folder))
            return failure(
                QStringLiteral("%1: %2").arg(QString::fromUtf8(folder), SafeFile::reason(error)), error);
    }
    Descriptor files(::open(filesPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Descriptor info(::open(infoPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!files.isOpen() || !info.isOpen())
        return failure(SafeFile::reason(errno), errno);

    const QByteArray text = TrashCan::infoText(original, std::time(nullptr));
    const QByteArray base = entry.name().left(LongestBase);
    for (int n = 1; n < 1000000; ++n) {
        const QByteArray name = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray record = name + ".trashinfo";
        Descriptor file(::openat(
            info.get(), record.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.isOpen()) {
            if (errno == EEXIST)
                continue;
            return failure(SafeFile::reason(errno), errno);
        }
        const auto drop = [&] { ::unlinkat(info.get(), record.constData(), 0); };
        // A name may stand in files/ without a record, left by another program.
        struct stat st;
        if (::fstatat(files.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            drop();
            continue;
        }
        if (errno != ENOENT) {
            const int error = errno;
            drop();
            return failure(SafeFile::reason(error), error);
        }
        int error =
            SafeFile::writeAll(file.get(), std::string_view(text.constData(), std::size_t(text.size())));
        if (::close(file.release()) != 0 && error == 0)
            error = errno;
        if (error == 0) {
            if (::renameat2(
                    entry.folder(), entry.name().constData(), files.get(), name.constData(), RENAME_NOREPLACE)
                == 0)
                return {joined(filesPath, name), QString(), 0};
            error = errno;
            // A file system that cannot promise not to replace: the name was free a moment ago.
            if (error == EINVAL
                && ::renameat(entry.folder(), entry.name().constData(), files.get(), name.constData()) == 0)
                return {joined(filesPath, name), QString(), 0};
            if (error == EINVAL)
                error = errno;
        }
        drop();
        if (error == EEXIST)
            continue;
        return failure(SafeFile::reason(error), error);
    }
    return failure(QStringLiteral("the trash holds too many entries of this name"));
}

QByteArray uidText()
{
    return QByteArray::number(qulonglong(::geteuid()));
}

// $topdir/.Trash/$uid, where $topdir/.Trash is a real folder with the sticky bit;
// empty otherwise.
QByteArray sharedTrashOf(const QByteArray &top)
{
    const QByteArray shared = joined(top, ".Trash");
    struct stat st;
    if (::lstat(shared.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || !(st.st_mode & S_ISVTX))
        return QByteArray();
    QByteArray own = shared + '/' + uidText();
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST)
        return QByteArray();
    if (::lstat(own.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return QByteArray();
    return own;
}

} // namespace

TrashCan::TrashCan()
{
    // A relative XDG_DATA_HOME is to be ignored.
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.startsWith('/')) {
        m_home = joined(data, "Trash");
        return;
    }
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        passwd entry {};
        passwd *user = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &user) == 0 && user)
            home = user->pw_dir;
    }
    m_home = joined(home, ".local/share/Trash");
}

QByteArray TrashCan::infoText(const QByteArray &originalPath, std::time_t deleted)
{
    std::tm local {};
    ::localtime_r(&deleted, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") + "\nDeletionDate=" + date + '\n';
}

TrashCan::Outcome TrashCan::moveToTrash(const ChosenEntry &entry) const
{
    const QByteArray folder = realPathOf(entry.folder(), parentOf(entry.path()));
    const QByteArray original = joined(folder, entry.name());
    if (const std::optional<dev_t> home = deviceOf(m_home); home && *home == entry.device()) {
        Outcome outcome = putInto(m_home, entry, original);
        // The same device on another mount (a bind mount): its own top's trash.
        if (outcome.moved() || outcome.error != EXDEV)
            return outcome;
    }

    // Paths in a trash at the top of a file system are relative to that top.
    const QByteArray top = topOf(folder, entry.device());
    const QByteArray relative = original.mid(top.endsWith('/') ? top.size() : top.size() + 1);
    const QByteArray shared = sharedTrashOf(top);
    if (!shared.isEmpty()) {
        Outcome outcome = putInto(shared, entry, relative);
        if (outcome.moved())
            return outcome;
    }
    const QByteArray own = joined(top, ".Trash-" + uidText());
    struct stat st;
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        return failure(QStringLiteral("no trash can be made on its file system (%1): %2")
                           .arg(QString::fromUtf8(own), SafeFile::reason(error)),
            error);
    }
    if (::lstat(own.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return failure(QStringLiteral("the trash of its file system, %1, is not a folder of this user")
                           .arg(QString::fromUtf8(own)));
    Outcome outcome = putInto(own, entry, relative);
    if (!outcome.moved())
        outcome.reason = QStringLiteral("it cannot be moved to the trash of its file system (%1): %2")
                             .arg(QString::fromUtf8(own), outcome.reason);
    return outcome;
}
