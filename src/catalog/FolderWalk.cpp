#include "FolderWalk.h"

#include "FolderDescriptors.h"
#include "FolderReader.h"
#include "ScanContext.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

FolderWalk::FolderWalk(ScanContext &context, FolderReader &reader, std::size_t budget, NodeIndex &reading)
    : m_context(context), m_reader(reader), m_budget(std::max(budget, MinDescriptorBudget)),
      m_reading(reading)
{ }

FolderWalk::~FolderWalk()
{
    for (Frame &f : m_stack) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
}

void FolderWalk::run(NodeIndex root, int rootFd)
{
    enter(root, rootFd);
    while (!m_stack.empty()) {
        if (m_context.stopping()) {
            if (m_context.cancelled())
                m_context.stopAt(ScanStop::Cancelled, m_stack.back().folder, 0);
            return;
        }
        Frame &f = m_stack.back();
        NodeIndex child = NoNode;
        {
            const std::lock_guard lock(m_context.mutex());
            const CatalogTree &tree = m_context.tree();
            while (f.nextChild < f.endChild && !tree.isFolder(f.nextChild))
                ++f.nextChild;
            if (f.nextChild < f.endChild) {
                child = f.nextChild++;
                const QByteArrayView bytes = tree.nameBytes(child);
                m_name.assign(bytes.data(), std::size_t(bytes.size()));
            }
        }
        if (child == NoNode) {
            leave();
            continue;
        }
        m_reading = child;
        const int fd = openChild(f.fd);
        if (fd >= 0 && !m_context.descends(fd))
            ::close(fd); // another file system: kept as a folder without children
        else if (fd >= 0)
            enter(child, fd);
        else
            m_context.cannotOpen(child, errno);
    }
    // A cancel met inside the last listing leaves that folder short.
    if (m_context.cancelled())
        m_context.stopAt(ScanStop::Cancelled, m_reading, 0);
}

void FolderWalk::enter(NodeIndex folder, int fd)
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
    const FolderReader::Children children = m_reader.read(folder, fd);
    if (children.count == 0) {
        ::close(fd);
        --m_open;
        m_stack.pop_back();
        return;
    }
    Frame &f = m_stack.back();
    f.nextChild = children.first;
    f.endChild = children.first + children.count;
    trim();
}

void FolderWalk::leave()
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

// Closes the shallowest descriptors of the window (never the root's, never the
// deepest) while more than the budget are open.
void FolderWalk::trim()
{
    while (m_open > m_budget && m_lowestOpen + 1 < m_stack.size())
        closeFrame(m_lowestOpen++);
}

void FolderWalk::closeFrame(std::size_t k)
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

void FolderWalk::copyName(NodeIndex node)
{
    const std::lock_guard lock(m_context.mutex());
    const QByteArrayView bytes = m_context.tree().nameBytes(node);
    m_name.assign(bytes.data(), std::size_t(bytes.size()));
}

// Opens the folder named m_name in the folder open at `parentFd`.
int FolderWalk::openChild(int parentFd)
{
    int fd = openFolderAt(parentFd, m_name.c_str());
    if (fd < 0 && outOfDescriptors(errno)) {
        // Others in the process hold descriptors too: give back all of ours but
        // the root's and the folder being read, and keep to fewer from now on.
        m_budget = std::max(MinDescriptorBudget, m_open / 2);
        while (m_lowestOpen + 1 < m_stack.size())
            closeFrame(m_lowestOpen++);
        fd = openFolderAt(parentFd, m_name.c_str());
    }
    return fd;
}

bool FolderWalk::isFrame(int fd, const Frame &f) const
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev == f.device && st.st_ino == f.inode;
}

// Opens frame `k` again, whose descriptor was closed: as ".." of its child when
// that is open (one step, whatever the depth), else name by name from the root.
// A folder moved or removed since it was read is marked, and what it still had
// to walk stays unread.
bool FolderWalk::reopen(std::size_t k, int childFd)
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
            copyName(m_stack[m].folder);
            const int next = openChild(fd);
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
        m_context.stopAt(ScanStop::NoDescriptors, f.folder, error);
        return false;
    }
    const std::lock_guard lock(m_context.mutex());
    CatalogTree &tree = m_context.tree();
    for (NodeIndex c = f.nextChild; c < f.endChild; ++c) {
        if (tree.isFolder(c))
            tree.markUnreadable(c, error);
    }
    f.nextChild = f.endChild;
    return false;
}
