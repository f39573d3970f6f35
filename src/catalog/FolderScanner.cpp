#include "FolderScanner.h"

#include "RollUp.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t DirentBufferSize = std::size_t(64) << 10;
constexpr std::uint64_t ProgressEvery = 16384;

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1]; // the name runs on to d_reclen
};

int openFolderAt(int dirFd, const char *name)
{
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
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
    if (sx.stx_mask & STATX_BTIME) {
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
    NodeIndex nextChild; // the next child to consider for descending
    NodeIndex endChild;
    int fd; // -1 while closed to stay within the descriptor budget
};

// Walks depth-first without recursion, so depth costs heap, not stack. At most
// `budget` folder descriptors stay open; deeper ones are closed and reopened
// from an open ancestor, name by name, when they are needed again, so paths far
// beyond PATH_MAX are walked in full.
class Walk
{
public:
    Walk(CatalogTree &tree, const ScanOptions &options)
        : m_tree(tree)
        , m_options(options)
    {
        struct rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            m_budget = std::clamp<std::size_t>(limit.rlim_cur / 4, 4, m_budget);
    }

    ~Walk()
    {
        for (Frame &f : m_stack)
            closeFd(f.fd);
    }

    bool run(int topFd)
    {
        push(0, topFd);
        while (!m_stack.empty()) {
            if (cancelled())
                return false;
            Frame &f = m_stack.back();
            while (f.nextChild < f.endChild && !m_tree.isFolder(f.nextChild))
                ++f.nextChild;
            if (f.nextChild >= f.endChild) {
                if (f.fd >= 0)
                    --m_open;
                closeFd(f.fd);
                m_stack.pop_back();
                continue;
            }
            const NodeIndex child = f.nextChild++;
            const int parentFd = ensureOpen(m_stack.size() - 1);
            if (parentFd < 0)
                continue;
            const int fd = openChild(parentFd, child);
            if (fd >= 0)
                push(child, fd);
        }
        return true;
    }

private:
    bool cancelled() const
    {
        return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed);
    }

    void push(NodeIndex folder, int fd)
    {
        std::uint32_t found = 0;
        try {
            found = ScanEntries(m_tree, fd, folder);
        } catch (...) {
            ::close(fd);
            throw;
        }
        reportProgress(found);
        if (!m_tree.isFolder(folder) || m_tree.childCount(folder) == 0) {
            ::close(fd);
            return;
        }
        const CatalogNodeData &d = m_tree.node(folder);
        m_stack.push_back({folder, d.firstChild, d.firstChild + d.childCount, fd});
        ++m_open;
        trimOpen();
    }

    void reportProgress(std::uint32_t found)
    {
        m_found += found;
        if (m_options.progress && m_found - m_reported >= ProgressEvery) {
            m_reported = m_found;
            m_options.progress(m_found);
        }
    }

    // Closes the shallowest open descriptors (never the top's) above the budget.
    void trimOpen()
    {
        for (std::size_t i = 1; m_open > m_budget && i + 1 < m_stack.size(); ++i) {
            if (m_stack[i].fd >= 0) {
                closeFd(m_stack[i].fd);
                --m_open;
            }
        }
    }

    // `mayTrim` allows closing ancestors' descriptors when the process runs out
    // of them; not while a chain of ancestors is being reopened.
    int openChild(int parentFd, NodeIndex child, bool mayTrim = true)
    {
        char name[0x10000 + 1];
        const QByteArrayView bytes = m_tree.nameBytes(child);
        std::memcpy(name, bytes.data(), std::size_t(bytes.size()));
        name[bytes.size()] = '\0';
        int fd = openFolderAt(parentFd, name);
        if (fd < 0 && mayTrim && (errno == EMFILE || errno == ENFILE) && m_budget > 4) {
            // Another part of the program holds descriptors too: give some back.
            m_budget = std::max<std::size_t>(4, m_open / 2);
            trimOpen();
            fd = openFolderAt(parentFd, name);
        }
        return fd;
    }

    // The descriptor of stack frame `k`, reopened from its nearest open ancestor
    // when it was closed; -1 when the folder can no longer be reached.
    int ensureOpen(std::size_t k)
    {
        if (m_stack[k].fd >= 0)
            return m_stack[k].fd;
        std::size_t j = k;
        while (m_stack[j].fd < 0)
            --j; // the top frame always stays open
        int fd = m_stack[j].fd;
        for (std::size_t m = j + 1; m <= k; ++m) {
            const int next = openChild(fd, m_stack[m].folder, false);
            if (fd != m_stack[j].fd)
                ::close(fd);
            fd = next;
            if (fd < 0) {
                // Moved or removed since it was read: its remaining folders stay empty.
                m_stack[k].nextChild = m_stack[k].endChild;
                return -1;
            }
        }
        m_stack[k].fd = fd;
        ++m_open;
        trimOpen();
        return m_stack[k].fd;
    }

    CatalogTree &m_tree;
    const ScanOptions &m_options;
    std::vector<Frame> m_stack;
    std::size_t m_open = 0;
    std::size_t m_budget = 256;
    std::uint64_t m_found = 0;
    std::uint64_t m_reported = 0;
};

} // namespace

std::uint32_t ScanEntries(CatalogTree &tree, int folderFd, NodeIndex parent)
{
    auto buffer = std::make_unique_for_overwrite<char[]>(DirentBufferSize);
    std::uint32_t appended = 0;
    for (;;) {
        const long got = ::syscall(SYS_getdents64, folderFd, buffer.get(), DirentBufferSize);
        if (got <= 0)
            break; // end of the folder, or an error: keep what was listed
        for (long pos = 0; pos < got;) {
            const auto *d = reinterpret_cast<const LinuxDirent64 *>(buffer.get() + pos);
            pos += d->d_reclen;
            const char *name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            const NodeIndex child = tree.appendChild(parent, name, std::strlen(name));
            ++appended;
            struct statx sx;
            if (statEntry(folderFd, name, &sx) == 0)
                fillFromStatx(tree.node(child), sx);
        }
    }
    return appended;
}

bool ScanFolder(CatalogTree &tree, const QByteArray &folderPath, const ScanOptions &options)
{
    tree.clear();
    const NodeIndex top = tree.addTop(folderPath);

    bool completed = true;
    const int topFd = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (topFd >= 0) {
        try {
            Walk walk(tree, options);
            completed = walk.run(topFd);
        } catch (const std::exception &) {
            // The tree is full or memory ran out: keep what was built.
            completed = false;
        }
    }

    CatalogNodeData &t = tree.node(top);
    t.size = RollUpBytes(tree, top);
    t.set(CatalogNodeData::HasSize);
    FillPercentages(tree, double(t.size));
    return completed;
}
