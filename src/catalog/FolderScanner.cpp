#include "FolderScanner.h"

#include "RollUp.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr std::size_t DirentBufferSize = std::size_t(64) << 10;
constexpr std::uint64_t ProgressEvery = 16384;
constexpr auto ProgressInterval = std::chrono::milliseconds(200);
// Folder descriptors held at once: the top, the folder being read and its nearest
// ancestors. More saves reopening nothing on the way back up; fewer is always enough.
constexpr std::size_t MinBudget = 2;
constexpr std::size_t MaxBudget = 256;

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1]; // the name runs on to d_reclen
};

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

int openFolderAt(int dirFd, const char *name)
{
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
}

// Descriptors the process may still open: the numbers below the soft limit that are
// not taken (by Qt, by inherited descriptors), so the walk never counts on
// descriptors it cannot have.
std::size_t freeDescriptors()
{
    struct rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 2 * MaxBudget;
    std::size_t open = 0;
    const int listing = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing >= 0) {
        alignas(LinuxDirent64) char buffer[4096];
        long got;
        while ((got = ::syscall(SYS_getdents64, listing, buffer, sizeof buffer)) > 0) {
            for (long pos = 0; pos < got;) {
                const auto *d = reinterpret_cast<const LinuxDirent64 *>(buffer + pos);
                pos += d->d_reclen;
                // The limit bounds descriptor numbers: those above it take no room.
                open += !isDotOrDotDot(d->d_name) && std::strtoull(d->d_name, nullptr, 10) < limit.rlim_cur;
            }
        }
        ::close(listing);
        open -= std::min<std::size_t>(open, 1); // the listing's own descriptor
    } else {
        const int probe = int(std::min<rlim_t>(limit.rlim_cur, 4096));
        for (int fd = 0; fd < probe; ++fd)
            open += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    }
    return limit.rlim_cur > open ? std::size_t(limit.rlim_cur - open) : 0;
}

void fillFromStatx(CatalogNodeData &n, const struct statx &sx)
{
    using F = CatalogNodeData;
    const bool folder = S_ISDIR(sx.stx_mode);
    n.setKind(folder ? NodeKind::Folder : NodeKind::File);
    // Folders start at zero; the roll-up gives them the total of their contents.
    n.size = folder ? 0 : sx.stx_size;
    n.set(F::HasSize);
    n.set(F::HasDetails);
    // Some file systems answer a birth time of 0 where they keep none.
    if ((sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0)) {
        n.createTime = sx.stx_btime.tv_sec;
        n.set(F::HasCreateTime);
    }
    if (sx.stx_mask & STATX_ATIME) {
        n.accessTime = sx.stx_atime.tv_sec;
        n.set(F::HasAccessTime);
    }
    if (sx.stx_mask & STATX_MTIME) {
        n.writeTime = sx.stx_mtime.tv_sec;
        n.set(F::HasWriteTime);
    }
}

// An entry that is listed but cannot be examined (its folder may be read but not
// searched) still has the kind the listing gives, and what follows from its name.
void fillFromListing(CatalogNodeData &n, unsigned char type)
{
    if (type == DT_UNKNOWN)
        return;
    n.setKind(type == DT_DIR ? NodeKind::Folder : NodeKind::File);
    n.set(CatalogNodeData::HasDetails);
}

// statx where the kernel has it, fstatat (no birth time) where it does not.
int statEntry(int dirFd, const char *name, struct statx *sx)
{
    static std::atomic<bool> noStatx{false};
    constexpr unsigned Mask = STATX_TYPE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (!noStatx.load(std::memory_order_relaxed)) {
        if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, Mask, sx) == 0)
            return 0;
        if (errno != ENOSYS)
            return -1;
        noStatx.store(true, std::memory_order_relaxed);
    }
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0)
        return -1;
    std::memset(sx, 0, sizeof *sx);
    sx->stx_mask = STATX_TYPE | STATX_SIZE | STATX_ATIME | STATX_MTIME;
    sx->stx_mode = std::uint16_t(st.st_mode);
    sx->stx_size = std::uint64_t(st.st_size);
    sx->stx_atime.tv_sec = st.st_atim.tv_sec;
    sx->stx_mtime.tv_sec = st.st_mtim.tv_sec;
    return 0;
}

// One folder on the path from the top to the folder being read.
struct Frame
{
    NodeIndex folder;
    NodeIndex nextChild = 0; // the next child to consider for descending
    NodeIndex endChild = 0;
    int fd = -1; // -1 while closed to stay within the descriptor budget
    // Which folder this is, taken when its descriptor is closed, so that reopening
    // it through ".." from a child can be checked.
    dev_t device = 0;
    ino_t inode = 0;
};

// Walks depth-first without recursion, so depth costs heap, not stack, and paths
// far beyond PATH_MAX are walked in full. The open descriptors are the top's and
// those of a window of the deepest frames: going down, the shallowest of the window
// is closed when the budget is spent; coming back up, a closed parent is reopened
// as ".." of its child. Each step costs the same at any depth, so a walk is linear
// in the entries of the tree.
class Walk
{
public:
    Walk(CatalogTree &tree, const ScanOptions &options)
        : m_tree(tree)
        , m_options(options)
        , m_buffer(std::make_unique_for_overwrite<char[]>(DirentBufferSize))
        , m_budget(std::clamp(freeDescriptors() / 2, MinBudget, MaxBudget))
    {
    }

    ~Walk()
    {
        for (Frame &f : m_stack) {
            if (f.fd >= 0)
                ::close(f.fd);
        }
    }

    // Reads everything below the top folder open at `topFd`, which the walk takes
    // over. Throws std::bad_alloc and std::length_error from a full tree.
    void run(int topFd)
    {
        enter(0, topFd);
        while (!m_stack.empty() && m_stop == ScanStop::None) {
            if (cancelled()) {
                stopAt(ScanStop::Cancelled, m_stack.back().folder, 0);
                return;
            }
            Frame &f = m_stack.back();
            while (f.nextChild < f.endChild && !m_tree.isFolder(f.nextChild))
                ++f.nextChild;
            if (f.nextChild >= f.endChild) {
                leave();
                continue;
            }
            const NodeIndex child = f.nextChild++;
            m_reading = child;
            const int fd = openChild(f.fd, child);
            if (fd >= 0)
                enter(child, fd);
            else if (outOfDescriptors(errno))
                stopAt(ScanStop::NoDescriptors, child, errno);
            else
                m_tree.markUnreadable(child, errno);
        }
        // A cancel met inside the last listing leaves that folder short.
        if (m_stop == ScanStop::None && cancelled())
            stopAt(ScanStop::Cancelled, m_reading, 0);
    }

    ScanStop stop() const { return m_stop; }
    int error() const { return m_error; }
    // The folder being opened or read: where the walk stopped if it stops short.
    NodeIndex reading() const { return m_reading; }

private:
    bool cancelled() const { return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed); }

    void stopAt(ScanStop stop, NodeIndex where, int error)
    {
        m_stop = stop;
        m_reading = where;
        m_error = error;
    }

    void enter(NodeIndex folder, int fd)
    {
        m_reading = folder;
        try {
            m_stack.push_back({folder});
        } catch (...) {
            ::close(fd);
            throw;
        }
        m_stack.back().fd = fd;
        ++m_open;
        list(folder, fd);
        if (m_tree.childCount(folder) == 0) {
            ::close(fd);
            --m_open;
            m_stack.pop_back();
            return;
        }
        Frame &f = m_stack.back();
        f.nextChild = m_tree.node(folder).firstChild;
        f.endChild = f.nextChild + m_tree.childCount(folder);
        trim();
    }

    void leave()
    {
        const std::size_t k = m_stack.size() - 1;
        if (k >= 2 && m_stack[k - 1].fd < 0 && reopen(k - 1, m_stack[k].fd))
            m_lowestOpen = k - 1;
        if (m_stack[k].fd >= 0) {
            ::close(m_stack[k].fd);
            --m_open;
        }
        m_stack.pop_back();
        m_lowestOpen = std::min(m_lowestOpen, m_stack.size());
    }

    // Appends one child of `folder` for every entry of its open descriptor, in the
    // order the file system lists them, each filled from statx.
    void list(NodeIndex folder, int fd)
    {
        std::uint32_t found = 0;
        for (;;) {
            const long got = ::syscall(SYS_getdents64, fd, m_buffer.get(), DirentBufferSize);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                m_tree.markUnreadable(folder, errno); // what was listed stays
                break;
            }
            if (cancelled())
                break; // the walk stops at its next step
            for (long pos = 0; pos < got;) {
                const auto *d = reinterpret_cast<const LinuxDirent64 *>(m_buffer.get() + pos);
                pos += d->d_reclen;
                const char *name = d->d_name;
                if (isDotOrDotDot(name))
                    continue;
                const NodeIndex child = m_tree.appendChild(folder, name, std::strlen(name));
                ++found;
                struct statx sx;
                if (statEntry(fd, name, &sx) == 0)
                    fillFromStatx(m_tree.node(child), sx);
                else if (errno != ENOENT) // gone since it was listed: its name and path only
                    fillFromListing(m_tree.node(child), d->d_type);
            }
        }
        m_found += found;
        if (m_options.progress) {
            const auto now = std::chrono::steady_clock::now();
            if (m_found - m_reported >= ProgressEvery || now - m_reportedAt >= ProgressInterval) {
                m_reported = m_found;
                m_reportedAt = now;
                m_options.progress(m_found, m_tree.fullPathBytes(folder));
            }
        }
    }

    // Closes the shallowest descriptors of the window (never the top's, never the
    // deepest) while more than the budget are open.
    void trim()
    {
        while (m_open > m_budget && m_lowestOpen + 1 < m_stack.size())
            closeFrame(m_lowestOpen++);
    }

    void closeFrame(std::size_t k)
    {
        Frame &f = m_stack[k];
        struct stat st;
        if (::fstat(f.fd, &st) == 0) {
            f.device = st.st_dev;
            f.inode = st.st_ino;
        }
        ::close(f.fd);
        f.fd = -1;
        --m_open;
    }

    int openChild(int parentFd, NodeIndex child)
    {
        const QByteArrayView bytes = m_tree.nameBytes(child);
        m_name.assign(bytes.data(), std::size_t(bytes.size()));
        int fd = openFolderAt(parentFd, m_name.c_str());
        if (fd < 0 && outOfDescriptors(errno)) {
            // Others in the process hold descriptors too: give back all of ours but
            // the top's and the folder being read, and keep to fewer from now on.
            m_budget = std::max(MinBudget, m_open / 2);
            while (m_lowestOpen + 1 < m_stack.size())
                closeFrame(m_lowestOpen++);
            fd = openFolderAt(parentFd, m_name.c_str());
        }
        return fd;
    }

    bool isFrame(int fd, const Frame &f) const
    {
        struct stat st;
        return ::fstat(fd, &st) == 0 && st.st_dev == f.device && st.st_ino == f.inode;
    }

    // Opens frame `k` again, whose descriptor was closed: as ".." of its child when
    // that is open (one step, whatever the depth), else name by name from the top.
    // A folder moved or removed since it was read is marked, and what it still had
    // to walk stays unread.
    bool reopen(std::size_t k, int childFd)
    {
        Frame &f = m_stack[k];
        int fd = childFd >= 0 ? openFolderAt(childFd, "..") : -1;
        if (fd >= 0 && !isFrame(fd, f)) {
            ::close(fd);
            fd = -1;
        }
        int error = ENOENT;
        if (fd < 0) {
            fd = m_stack[0].fd;
            for (std::size_t m = 1; m <= k && fd >= 0; ++m) {
                const int next = openChild(fd, m_stack[m].folder);
                error = errno;
                if (fd != m_stack[0].fd)
                    ::close(fd);
                fd = next;
            }
            if (fd >= 0 && !isFrame(fd, f)) {
                ::close(fd);
                fd = -1;
                error = ENOENT;
            }
        }
        if (fd >= 0) {
            f.fd = fd;
            ++m_open;
            return true;
        }
        if (outOfDescriptors(error)) {
            stopAt(ScanStop::NoDescriptors, f.folder, error);
            return false;
        }
        for (NodeIndex c = f.nextChild; c < f.endChild; ++c) {
            if (m_tree.isFolder(c))
                m_tree.markUnreadable(c, error);
        }
        f.nextChild = f.endChild;
        return false;
    }

    CatalogTree &m_tree;
    const ScanOptions &m_options;
    std::unique_ptr<char[]> m_buffer;
    std::vector<Frame> m_stack;
    std::string m_name;
    std::size_t m_budget;
    std::size_t m_open = 0;       // descriptors of frames that are open
    std::size_t m_lowestOpen = 1; // frames [m_lowestOpen, top of stack] are open, and frame 0
    std::uint64_t m_found = 0;
    std::uint64_t m_reported = 0;
    std::chrono::steady_clock::time_point m_reportedAt = std::chrono::steady_clock::now();
    NodeIndex m_reading = 0;
    ScanStop m_stop = ScanStop::None;
    int m_error = 0;
};

} // namespace

const char *ScanStopText(ScanStop stop)
{
    switch (stop) {
    case ScanStop::None:
        return "";
    case ScanStop::TopUnreadable:
        return "the folder cannot be read";
    case ScanStop::Cancelled:
        return "cancelled";
    case ScanStop::OutOfMemory:
        return "out of memory";
    case ScanStop::NodeLimit:
        return "the catalog holds as many entries as it can";
    case ScanStop::NoDescriptors:
        return "out of file descriptors";
    }
    return "";
}

ScanResult ScanFolder(const QByteArray &folderPath, const ScanOptions &options)
{
    ScanResult result;
    try {
        result.tree = std::make_shared<CatalogTree>();
        result.tree->addTop(folderPath);
    } catch (const std::bad_alloc &) {
        result.tree.reset();
        result.stop = ScanStop::OutOfMemory;
        return result;
    }
    CatalogTree &tree = *result.tree;

    const int topFd = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (topFd < 0) {
        result.error = errno;
        result.stop = outOfDescriptors(result.error) ? ScanStop::NoDescriptors : ScanStop::TopUnreadable;
        result.stoppedAt = tree.top();
    } else {
        std::unique_ptr<Walk> walk;
        try {
            walk = std::make_unique<Walk>(tree, options);
            walk->run(topFd);
            result.stop = walk->stop();
            result.error = walk->error();
        } catch (const std::bad_alloc &) {
            if (!walk)
                ::close(topFd);
            result.stop = ScanStop::OutOfMemory;
        } catch (const std::length_error &) {
            result.stop = ScanStop::NodeLimit;
        }
        if (!result.complete())
            result.stoppedAt = walk ? walk->reading() : tree.top();
        const int topError = tree.unreadableError(tree.top());
        if (result.complete() && topError != 0 && tree.childCount(tree.top()) == 0) {
            result.stop = ScanStop::TopUnreadable;
            result.error = topError;
            result.stoppedAt = tree.top();
        }
    }
    if (result.stop == ScanStop::TopUnreadable) {
        try {
            tree.markUnreadable(tree.top(), result.error);
        } catch (const std::bad_alloc &) {
            // The stop carries the reason all the same.
        }
    }

    CatalogNodeData &t = tree.node(tree.top());
    t.size = RollUpBytes(tree, tree.top());
    t.set(CatalogNodeData::HasSize);
    FillPercentages(tree, double(t.size));
    return result;
}
