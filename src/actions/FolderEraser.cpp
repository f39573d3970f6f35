#include "FolderEraser.h"

#include "FolderDescriptors.h"
#include "SafeFile.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace {

// Folders kept open on the way down.
constexpr std::size_t OpenLevels = 32;

// The names in the folder open at `fd`, but for "." and "..". 0 or an errno value.
int listNames(int fd, std::vector<QByteArray> &names)
{
    Descriptor listing(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing.isOpen())
        return errno;
    DIR *dir = ::fdopendir(listing.get());
    if (!dir)
        return errno;
    listing.release();
    errno = 0;
    while (const dirent *d = ::readdir(dir)) {
        if (!isDotOrDotDot(d->d_name))
            names.emplace_back(d->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    return error;
}

bool isMountRoot(int fd)
{
    struct statx sx;
    return ::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE, &sx) == 0
        && (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

} // namespace

FolderEraser::Result FolderEraser::erase(
    int holder, const QByteArray &name, const QByteArray &path, dev_t device, ino_t inode)
{
    return FolderEraser(path, device).run(holder, name, inode);
}

FolderEraser::Result FolderEraser::run(int holder, const QByteArray &name, ino_t inode)
{
    if (!enter(holder, name, m_device, inode))
        return m_result;
    while (!m_levels.empty()) {
        Level &level = m_levels.back();
        if (level.next < level.names.size()) {
            const QByteArray entry = level.names[level.next];
            struct stat st;
            if (::fstatat(level.fd.get(), entry.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) {
                    fail(entry, errno);
                    return m_result;
                }
                ++level.next; // gone meanwhile
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                // `level` is not used after this: entering may move the levels.
                if (!enter(level.fd.get(), entry, st.st_dev, st.st_ino))
                    return m_result;
                continue;
            }
            if (::unlinkat(level.fd.get(), entry.constData(), 0) != 0 && errno != ENOENT) {
                fail(entry, errno);
                return m_result;
            }
            ++m_result.removed;
            ++level.next;
            continue;
        }

        // Everything below is gone: the folder itself goes from the one holding it.
        const Level done = std::move(m_levels.back());
        m_levels.pop_back();
        if (!m_levels.empty() && !m_levels.back().fd.isOpen() && !reopenAbove(done))
            return m_result;
        const int above = m_levels.empty() ? holder : m_levels.back().fd.get();
        if (::unlinkat(above, done.name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            fail(done.name, errno);
            return m_result;
        }
        ++m_result.removed;
        if (!m_levels.empty())
            ++m_levels.back().next;
    }
    return m_result;
}

bool FolderEraser::enter(int holder, const QByteArray &name, dev_t device, ino_t inode)
{
    if (device != m_device)
        return fail(name, EXDEV, QStringLiteral("another file system is mounted there"));
    Level level;
    level.fd.reset(openFolderAt(holder, name.constData()));
    if (!level.fd.isOpen())
        return fail(name, errno);
    struct stat st;
    if (::fstat(level.fd.get(), &st) != 0)
        return fail(name, errno);
    if (st.st_dev != device || st.st_ino != inode)
        return fail(name, 0, QStringLiteral("it was replaced while being deleted"));
    if (isMountRoot(level.fd.get()))
        return fail(name, EXDEV, QStringLiteral("another file system is mounted there"));
    if (const int error = listNames(level.fd.get(), level.names))
        return fail(name, error);
    level.name = name;
    level.device = device;
    level.inode = inode;
    m_levels.push_back(std::move(level));
    if (m_levels.size() - m_firstOpen > OpenLevels)
        m_levels[m_firstOpen++].fd.reset();
    return true;
}

bool FolderEraser::reopenAbove(const Level &below)
{
    Level &level = m_levels.back();
    level.fd.reset(::openat(below.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (!level.fd.isOpen() || ::fstat(level.fd.get(), &st) != 0)
        return fail(below.name, errno);
    if (st.st_dev != level.device || st.st_ino != level.inode)
        return fail(below.name, 0, QStringLiteral("its folder was moved while being deleted"));
    m_firstOpen = m_levels.size() - 1;
    return true;
}

bool FolderEraser::fail(const QByteArray &name, int error, const QString &reason)
{
    m_result.error = error;
    m_result.reason = reason.isEmpty() ? SafeFile::reason(error) : reason;
    m_result.stoppedAt = pathOf(name);
    return false;
}

QByteArray FolderEraser::pathOf(const QByteArray &name) const
{
    // The first level is the chosen folder, at m_path.
    if (m_levels.empty())
        return m_path;
    QByteArray path = m_path;
    for (std::size_t i = 1; i < m_levels.size(); ++i)
        path += '/' + m_levels[i].name;
    return path + '/' + name;
}
