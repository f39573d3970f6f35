#include "SafeFile.h"

#include "Descriptor.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <new>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>

namespace SafeFile {

namespace {

QString kindOf(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFIFO:
        return QStringLiteral("a FIFO");
    case S_IFCHR:
        return QStringLiteral("a character device");
    case S_IFBLK:
        return QStringLiteral("a block device");
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    default:
        return QStringLiteral("not a file");
    }
}

// Files of these file systems claim to be regular, but reading them talks to the
// kernel: /proc/kmsg blocks and hands out each message only once.
bool isKernelInterface(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case EFIVARFS_MAGIC:
    case PSTOREFS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace

int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), std::min<size_t>(bytes.size(), size_t(1) << 30));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        bytes.remove_prefix(size_t(n));
    }
    return 0;
}

namespace {

// Writes, syncs and closes a file we created; 0 or an errno value.
int finish(Descriptor &file, std::string_view bytes)
{
    int error = writeAll(file.get(), bytes);
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    if (::close(file.release()) != 0 && error == 0)
        error = errno;
    return error;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// A rename reaches the disk only once its folder is synced; a failure here loses
// nothing that a crash would not, so it is not reported.
void syncFolder(const QByteArray &path)
{
    const int fd = ::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool holdsExactly(const QByteArray &name, std::string_view bytes)
{
    Descriptor file(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st;
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size != off_t(bytes.size()))
        return false;
    std::array<char, 65536> chunk;
    size_t at = 0;
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return at == bytes.size();
        if (size_t(n) > bytes.size() - at || std::memcmp(chunk.data(), bytes.data() + at, size_t(n)) != 0)
            return false;
        at += size_t(n);
    }
}

} // namespace

QString reason(int error)
{
    // Another thread may be reporting its own error meanwhile; strerror's buffer is shared.
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

Contents read(const QByteArray &path)
{
    Contents contents;
    Descriptor file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        contents.status = errno == ENOENT ? Contents::Missing : Contents::Unreadable;
        contents.reason = reason(errno);
        return contents;
    }
    struct stat st;
    if (::fstat(file.get(), &st) != 0) {
        contents.status = Contents::Unreadable;
        contents.reason = reason(errno);
        return contents;
    }
    if (!S_ISREG(st.st_mode)) {
        contents.status = Contents::NotRegular;
        contents.reason = kindOf(st.st_mode);
        return contents;
    }
    if (isKernelInterface(file.get())) {
        contents.status = Contents::NotRegular;
        contents.reason = QStringLiteral("a kernel interface file");
        return contents;
    }
    if (st.st_size > MaxSize) {
        contents.status = Contents::TooLarge;
        return contents;
    }
    contents.mode = st.st_mode & 07777;

    // One byte more than the size shows a file that grows while it is read.
    std::string &bytes = contents.bytes;
    bytes.resize(size_t(st.st_size) + 1);
    size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > size_t(MaxSize)) {
                contents.status = Contents::TooLarge;
                bytes = std::string();
                return contents;
            }
            bytes.resize(std::min(have * 2 + 4096, size_t(MaxSize) + 1));
        }
        const ssize_t n = ::read(file.get(), bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            contents.status = Contents::Unreadable;
            contents.reason = reason(errno);
            bytes = std::string();
            return contents;
        }
        if (n == 0)
            break;
        have += size_t(n);
    }
    bytes.resize(have);
    contents.status = Contents::Read;
    return contents;
}

QString resolveLinks(const QByteArray &path, QByteArray &target)
{
    QByteArray current = path;
    // The limit the kernel itself puts on a chain of links.
    for (int hop = 0; hop <= 40; ++hop) {
        struct stat st;
        if (::lstat(current.constData(), &st) != 0) {
            if (errno != ENOENT)
                return reason(errno);
            target = current; // the end of a dangling link: the file to create
            return {};
        }
        if (!S_ISLNK(st.st_mode)) {
            target = current;
            return {};
        }
        QByteArray link(std::max<qsizetype>(qsizetype(st.st_size), 255) + 1, Qt::Uninitialized);
        for (;;) {
            const ssize_t n = ::readlink(current.constData(), link.data(), size_t(link.size()));
            if (n < 0)
                return reason(errno);
            if (n < link.size()) {
                link.truncate(n);
                break;
            }
            link.resize(link.size() * 2);
        }
        if (link.startsWith('/'))
            current = link;
        else
            current = current.contains('/') ? folderOf(current) + '/' + link : link;
    }
    return reason(ELOOP);
}

QString replace(const QByteArray &path, std::string_view bytes)
{
    Replacement file(path);
    file.write(bytes);
    return file.commit();
}

namespace {
constexpr std::size_t BufferSize = std::size_t(1) << 20;
}

Replacement::Replacement(const QByteArray &path, const std::atomic<bool> *stop) : m_stop(stop)
{
    if (QString problem = resolveLinks(path, m_target); !problem.isEmpty()) {
        m_problem = problem;
        return;
    }

    struct stat old;
    const bool exists = ::stat(m_target.constData(), &old) == 0;
    if (!exists && errno != ENOENT) {
        fail(errno);
        return;
    }
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            m_problem = QStringLiteral("it is %1, not a regular file").arg(kindOf(old.st_mode));
            return;
        }
        // Renaming needs only the folder's permission; the file's own must count too.
        if (::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0) {
            fail(errno);
            return;
        }
    }

    // The new file is made in the target's folder, so the rename cannot cross file systems.
    {
        const TemporaryFiles::SignalsHeld held;
        for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
            m_temporary = m_target + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
            m_fd =
                ::open(m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST) {
                const int error = errno;
                m_temporary.clear();
                fail(error);
                return;
            }
        }
        if (m_fd < 0) {
            m_temporary.clear();
            fail(EEXIST);
            return;
        }
        m_registration.hold(m_temporary);
    }

    if (exists) {
        // Root saving another user's file must not take it over.
        if (::geteuid() == 0 && (old.st_uid != 0 || old.st_gid != ::getegid()))
            (void)::fchown(m_fd, old.st_uid, old.st_gid);
        (void)::fchmod(m_fd, old.st_mode & 07777);
    }
}

Replacement::~Replacement()
{
    if (!m_committed)
        discard();
}

void Replacement::fail(int error)
{
    if (ok())
        m_errno = error;
    discard();
}

void Replacement::discard()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_registration.release();
    m_temporary.clear();
    std::string().swap(m_buffer);
}

bool Replacement::flush()
{
    if (!ok())
        return false;
    if (const int error = writeAll(m_fd, m_buffer); error != 0) {
        fail(error);
        return false;
    }
    m_buffer.clear();
    return true;
}

bool Replacement::proceed()
{
    if (ok() && m_stop && m_stop->load(std::memory_order_relaxed))
        fail(ECANCELED);
    return ok();
}

bool Replacement::write(std::string_view bytes)
{
    if (!proceed())
        return false;
    if (m_buffer.size() + bytes.size() > BufferSize) {
        if (!flush())
            return false;
        if (bytes.size() >= BufferSize) {
            if (const int error = writeAll(m_fd, bytes); error != 0) {
                fail(error);
                return false;
            }
            return true;
        }
    }
    try {
        if (m_buffer.capacity() < BufferSize)
            m_buffer.reserve(BufferSize);
    } catch (const std::bad_alloc &) {
        fail(ENOMEM);
        return false;
    }
    m_buffer.append(bytes); // within the capacity reserved: no allocation
    return true;
}

QString Replacement::error() const
{
    return m_errno != 0 ? reason(m_errno) : m_problem;
}

QString Replacement::commit()
{
    if (!proceed() || !flush())
        return error();
    int failure = 0;
    if (::fsync(m_fd) != 0)
        failure = errno;
    // The error of close itself counts: some file systems report a failed write there.
    if (::close(std::exchange(m_fd, -1)) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(m_temporary.constData(), m_target.constData()) != 0)
        failure = errno;
    if (failure != 0) {
        fail(failure);
        return error();
    }
    m_committed = true;
    m_registration.release();
    m_temporary.clear();
    std::string().swap(m_buffer);
    syncFolder(m_target);
    return {};
}

Copy keepCopy(const QByteArray &base, std::string_view bytes, mode_t mode)
{
    Copy copy;
    // Enough for any honest history of broken files; beyond it something is wrong.
    for (int n = 0; n < 1000; ++n) {
        copy.name = n == 0 ? base : base + '.' + QByteArray::number(n);
        // O_EXCL refuses any existing name, a link too, even one that points nowhere.
        Descriptor file(::open(copy.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
            (mode & 0666) | S_IRUSR | S_IWUSR));
        if (file.get() < 0) {
            if (errno != EEXIST) {
                copy.error = reason(errno);
                return copy;
            }
            // A file that stays broken from run to run needs one copy, not one per run.
            if (holdsExactly(copy.name, bytes))
                return copy;
            continue;
        }
        if (const int error = finish(file, bytes); error != 0) {
            ::unlink(copy.name.constData());
            copy.error = reason(error);
            return copy;
        }
        copy.made = true;
        syncFolder(copy.name);
        return copy;
    }
    copy.error = QStringLiteral("every name up to %1 is taken").arg(QString::fromLocal8Bit(copy.name));
    return copy;
}

} // namespace SafeFile
