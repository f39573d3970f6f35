#include "FolderReader.h"

#include "FolderDescriptors.h"
#include "ScanContext.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t DirentBufferSize = std::size_t(64) << 10;
// Listing blocks are mapped pages rather than heap, so that giving one back returns
// it to the system at once instead of leaving it in an allocator arena.
constexpr std::size_t ListBlockSize = std::size_t(256) << 10;
constexpr std::size_t FillBatch = 1024;
// A folder of at least twice this many entries is examined by several threads, this
// many entries each, when the caller shares them out.
constexpr std::size_t ShareBatch = 16384;
// A stored entry: type, two bytes of length, the name and its NUL. A block ends
// where the next entry would not fit, with this byte where its type would be.
constexpr unsigned char BlockEnd = 0xFF;
constexpr std::size_t EntryOverhead = 4;

void fillFromStatx(CatalogNodeData &n, const struct statx &sx)
{
    using F = CatalogNodeData;
    const bool folder = S_ISDIR(sx.stx_mode);
    n.setKind(folder ? NodeKind::Folder : NodeKind::File);
    // Folders start at zero; the roll-up gives them the total of their contents.
    n.size = folder ? 0 : sx.stx_size;
    // A folder's own blocks too: the roll-up adds its contents'.
    if (sx.stx_mask & STATX_BLOCKS)
        n.diskSize = sx.stx_blocks * 512;
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
    static std::atomic<bool> noStatx {false};
    constexpr unsigned Mask = STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_BTIME
        | STATX_INO | STATX_NLINK;
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
    sx->stx_mask =
        STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_INO | STATX_NLINK;
    sx->stx_mode = std::uint16_t(st.st_mode);
    sx->stx_ino = st.st_ino;
    sx->stx_nlink = std::uint32_t(st.st_nlink);
    sx->stx_dev_major = major(st.st_dev);
    sx->stx_dev_minor = minor(st.st_dev);
    sx->stx_size = std::uint64_t(st.st_size);
    sx->stx_blocks = std::uint64_t(st.st_blocks);
    sx->stx_atime.tv_sec = st.st_atim.tv_sec;
    sx->stx_mtime.tv_sec = st.st_mtim.tv_sec;
    return 0;
}

} // namespace

FolderReader::FolderReader(ScanContext &context)
    : m_context(context), m_dirents(std::make_unique_for_overwrite<char[]>(DirentBufferSize)),
      m_filled(std::make_unique_for_overwrite<CatalogNodeData[]>(FillBatch)),
      m_nameAt(std::make_unique_for_overwrite<std::size_t[]>(FillBatch)),
      m_links(std::make_unique<Link[]>(FillBatch))
{
    m_names.reserve(FillBatch * 32);
    m_vanished.reserve(FillBatch);
    m_blocks.reserve(16);
    block(0);
}

FolderReader::~FolderReader()
{
    for (char *b : m_blocks) {
        if (b)
            ::munmap(b, ListBlockSize);
    }
}

char *FolderReader::block(std::size_t i)
{
    if (i < m_blocks.size() && m_blocks[i])
        return m_blocks[i];
    if (i >= m_blocks.size())
        m_blocks.resize(i + 1, nullptr);
    void *pages = ::mmap(nullptr, ListBlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        if (errno == ENOMEM)
            throw std::bad_alloc();
        throw std::system_error(errno, std::generic_category(), "mapping a listing block");
    }
    m_blocks[i] = static_cast<char *>(pages);
    return m_blocks[i];
}

// Gives back the blocks from the second up to `before`; the first stays for the
// next folder, so a thread reading small folders maps nothing.
void FolderReader::releaseBlocks(std::size_t before)
{
    for (std::size_t i = 1; i < std::min(before, m_blocks.size()); ++i) {
        if (m_blocks[i]) {
            ::munmap(m_blocks[i], ListBlockSize);
            m_blocks[i] = nullptr;
        }
    }
}

void FolderReader::store(unsigned char type, const char *name, std::size_t length)
{
    // One byte stays free in every block for its end mark.
    if (m_end.offset + EntryOverhead + length + 1 > ListBlockSize) {
        m_blocks[m_end.block][m_end.offset] = char(BlockEnd);
        block(m_end.block + 1);
        ++m_end.block;
        m_end.offset = 0;
    }
    char *at = m_blocks[m_end.block] + m_end.offset;
    at[0] = char(type);
    at[1] = char(length & 0xFF);
    at[2] = char(length >> 8);
    std::memcpy(at + 3, name, length + 1);
    m_end.offset += EntryOverhead + length;
    ++m_listed;
}

FolderReader::Entry FolderReader::next(Cursor &at) const
{
    const char *p = m_blocks[at.block] + at.offset;
    if (static_cast<unsigned char>(*p) == BlockEnd) {
        ++at.block;
        at.offset = 0;
        p = m_blocks[at.block];
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(p);
    const Entry e {bytes[0], p + 3, std::size_t(bytes[1]) | std::size_t(bytes[2]) << 8};
    at.offset += EntryOverhead + e.length;
    return e;
}

bool FolderReader::list(NodeIndex folder, int fd)
{
    m_listed = 0;
    m_end = Cursor {};
    for (;;) {
        const long got = ::syscall(SYS_getdents64, fd, m_dirents.get(), DirentBufferSize);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            const std::lock_guard lock(m_context.mutex());
            m_context.tree().markUnreadable(folder, error); // what was listed stays
            break;
        }
        if (m_context.stopping()) {
            releaseBlocks(m_blocks.size());
            return false;
        }
        for (long pos = 0; pos < got;) {
            const auto *d = reinterpret_cast<const LinuxDirent64 *>(m_dirents.get() + pos);
            pos += d->d_reclen;
            if (!isDotOrDotDot(d->d_name))
                store(d->d_type, d->d_name, std::strlen(d->d_name));
        }
    }
    return true;
}

// Appends the whole listing, each child with what the listing tells of it; the
// listing's blocks are given back as the names move into the tree, so the two are
// never held in full at once.
NodeIndex FolderReader::appendListed(NodeIndex folder)
{
    CatalogTree &tree = m_context.tree();
    NodeIndex first = NoNode;
    Cursor at;
    for (std::size_t i = 0; i < m_listed; ++i) {
        const std::size_t block = at.block;
        const Entry e = next(at);
        if (at.block != block)
            releaseBlocks(at.block);
        const NodeIndex child = tree.appendChild(folder, e.name, e.length);
        fillFromListing(tree.node(child), e.type);
        if (i == 0)
            first = child;
    }
    releaseBlocks(m_blocks.size());
    return first;
}

// Copies out the names of `count` children from `first` on, and what the listing
// told of them, for examining them without the lock.
void FolderReader::takeBatch(NodeIndex first, std::size_t count)
{
    const CatalogTree &tree = m_context.tree();
    m_names.clear();
    for (std::size_t i = 0; i < count; ++i) {
        const QByteArrayView name = tree.nameBytes(first + NodeIndex(i));
        m_nameAt[i] = m_names.size();
        m_names.append(name.data(), std::size_t(name.size()));
        m_names.push_back('\0');
        m_filled[i] = tree.node(first + NodeIndex(i));
    }
}

FolderReader::Children FolderReader::read(
    NodeIndex folder, int fd, const FolderHook *onFolder, const ShareHook *onShare)
{
    if (!list(folder, fd))
        return {};
    Children children;
    std::size_t own = m_listed;
    try {
        // A scan stopped while the folder was listed keeps nothing of it.
        if (m_listed == 0 || m_context.stopping()) {
            releaseBlocks(m_blocks.size());
            m_context.found(0, folder);
            return {};
        }
        // All children go in at once: they are one block however many threads
        // append meanwhile.
        const std::lock_guard lock(m_context.mutex());
        children.first = appendListed(folder);
        children.count = std::uint32_t(m_listed);
        if (onShare && m_listed >= 2 * ShareBatch) {
            own = ShareBatch;
            for (std::size_t from = own; from < m_listed; from += ShareBatch)
                (*onShare)(
                    children.first + NodeIndex(from), std::uint32_t(std::min(ShareBatch, m_listed - from)));
        }
        takeBatch(children.first, std::min(FillBatch, own));
    } catch (...) {
        releaseBlocks(m_blocks.size());
        throw;
    }
    examineTaken(fd, children.first, own, onFolder);
    m_context.found(children.count, folder);
    return children;
}

void FolderReader::examine(int fd, NodeIndex first, std::size_t count, const FolderHook *onFolder)
{
    {
        const std::lock_guard lock(m_context.mutex());
        takeBatch(first, std::min(FillBatch, count));
    }
    examineTaken(fd, first, count, onFolder);
}

// examine() once the first batch is taken (read() takes it with the append, under
// the same lock).
void FolderReader::examineTaken(int fd, NodeIndex first, std::size_t count, const FolderHook *onFolder)
{
    CatalogTree &tree = m_context.tree();
    const bool countLinksOnce = m_context.options().countHardLinksOnce;
    std::size_t batch = std::min(FillBatch, count);
    for (std::size_t done = 0; done < count;) {
        // Once the scan stops, the rest keep what the listing told.
        const bool look = !m_context.stopping();
        m_vanished.clear();
        for (std::size_t i = 0; look && i < batch; ++i) {
            const char *name = m_names.data() + m_nameAt[i];
            struct statx sx;
            m_links[i] = Link();
            if (statEntry(fd, name, &sx) == 0) {
                m_filled[i] = CatalogNodeData();
                fillFromStatx(m_filled[i], sx);
                if (!S_ISDIR(sx.stx_mode) && (sx.stx_mask & STATX_NLINK) && sx.stx_nlink > 1)
                    m_links[i] = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, sx.stx_nlink};
            } else if (errno == ENOENT) { // gone since it was listed: taken out as the scan ends
                m_filled[i] = CatalogNodeData();
                m_vanished.push_back(std::uint32_t(i));
            }
        }
        const std::lock_guard lock(m_context.mutex());
        m_context.reserveVanished(m_vanished.size());
        for (const std::uint32_t i : m_vanished)
            m_context.vanished(first + NodeIndex(done + i));
        for (std::size_t i = 0; i < batch; ++i) {
            const NodeIndex child = first + NodeIndex(done + i);
            CatalogNodeData &n = tree.node(child);
            CatalogNodeData d = m_filled[i];
            if (look && m_links[i].inode != 0) {
                const Link &link = m_links[i];
                tree.addHardLink({child, link.links, link.device, link.inode});
                if (countLinksOnce && !m_context.firstLink(link.device, link.inode)) {
                    d.size = 0;
                    d.diskSize = 0;
                }
            }
            d.parent = n.parent;
            d.setNameOffset(n.nameOffset());
            d.nameLength = n.nameLength;
            n = d;
            if (onFolder && d.kind() == NodeKind::Folder)
                (*onFolder)(child);
        }
        done += batch;
        batch = std::min(FillBatch, count - done);
        if (batch > 0)
            takeBatch(first + NodeIndex(done), batch);
    }
}
