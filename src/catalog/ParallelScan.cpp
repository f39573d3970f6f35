#include "ParallelScan.h"

#include "FolderDescriptors.h"
#include "FolderReader.h"
#include "FolderWalk.h"
#include "ScanContext.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <unistd.h>

namespace {

// Folders deeper than this are walked by one thread with a FolderWalk: opening a
// folder by its path costs a step per level, and a deep chain has nothing to share
// out anyway.
constexpr std::uint32_t MaxTaskDepth = 48;
// A path longer than this is not opened in one step (PATH_MAX bounds it).
constexpr std::size_t MaxTaskPath = PATH_MAX / 2;

// Closes the descriptor it holds, also when an exception passes.
struct HeldFd
{
    int fd = -1;
    bool owned = true;
    ~HeldFd()
    {
        if (fd >= 0 && owned)
            ::close(fd);
    }
};

} // namespace

// The folders a thread keeps open after reading them, each an ancestor of the next:
// their sub-folders, which the same thread most often takes next, open by one name
// from them instead of by their whole path from the top.
class ParallelScan::HeldChain
{
public:
    explicit HeldChain(std::size_t capacity) : m_capacity(capacity) { m_held.reserve(capacity); }
    HeldChain(const HeldChain &) = delete;
    HeldChain &operator=(const HeldChain &) = delete;
    ~HeldChain() { keep(0); }

    // How many of the held folders are on `chain` (the path of a folder, top down,
    // without the top), all of them from the shallowest on.
    std::size_t common(const NodeIndex *chain, std::uint32_t levels) const
    {
        std::size_t n = 0;
        while (n < m_held.size() && m_held[n].depth <= levels && chain[m_held[n].depth - 1] == m_held[n].node)
            ++n;
        return n;
    }
    // Closes all but the first `count` and holds no more from now on.
    void giveBack(std::size_t count = 0)
    {
        m_capacity = 0;
        keep(count);
    }
    // Closes all but the first `count`.
    void keep(std::size_t count)
    {
        while (m_held.size() > count) {
            ::close(m_held.back().fd);
            m_held.pop_back();
        }
    }
    std::uint32_t depth(std::size_t i) const { return m_held[i].depth; }
    int fd(std::size_t i) const { return m_held[i].fd; }
    // Keeps `fd`, the folder `node` at `depth` below the last held, if there is room.
    bool add(NodeIndex node, std::uint32_t depth, int fd)
    {
        if (m_held.size() >= m_capacity)
            return false;
        m_held.push_back({node, depth, fd});
        return true;
    }

private:
    struct Held
    {
        NodeIndex node;
        std::uint32_t depth;
        int fd;
    };
    std::size_t m_capacity;
    std::vector<Held> m_held;
};

ParallelScan::ParallelScan(ScanContext &context, unsigned threads, std::size_t budget)
    : m_context(context)
    , m_threads(std::max(threads, 1u))
    , m_budget(budget)
{
}

// Each thread holds the folder it reads, the folders of its HeldChain and, below the
// folder it reads, the window of a walk: the three shares of its part of the budget.
std::size_t ParallelScan::perThread() const
{
    return (m_budget - std::min<std::size_t>(m_budget, 1)) / m_threads;
}

std::size_t ParallelScan::heldBudget() const
{
    return std::min<std::size_t>(MaxTaskDepth, perThread() / 4);
}

std::size_t ParallelScan::walkBudget() const
{
    const std::size_t rest = perThread() - std::min(perThread(), heldBudget() + 1);
    return std::max(MinDescriptorBudget, rest);
}

void ParallelScan::run(int topFd)
{
    m_topFd = topFd;
    m_tasks.reserve(1024);
    m_tasks.push_back({0, 0});
    // Every thread's buffers are taken here, before any folder is read, so a
    // shortage of memory shows at once, in one place, and not at some moment of
    // the walk that depends on when a thread got going.
    std::vector<std::unique_ptr<FolderReader>> readers;
    readers.reserve(m_threads);
    for (unsigned i = 0; i < m_threads; ++i) {
        try {
            readers.push_back(std::make_unique<FolderReader>(m_context));
        } catch (const std::bad_alloc &) {
            if (readers.empty())
                throw;
            break; // fewer threads read the same tree
        }
    }
    std::vector<std::thread> helpers;
    helpers.reserve(readers.size() - 1);
    for (std::size_t i = 1; i < readers.size(); ++i) {
        try {
            helpers.emplace_back([this, reader = readers[i].get()] { work(*reader); });
        } catch (const std::system_error &) {
            break;
        } catch (const std::bad_alloc &) {
            break;
        }
    }
    work(*readers[0]);
    for (std::thread &t : helpers)
        t.join();
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void ParallelScan::giveBackHeld(HeldChain &held, std::size_t inUse)
{
    m_holdNone.store(true, std::memory_order_relaxed);
    held.giveBack(inUse);
}

// Tries `open` again for a while as the other threads give back what they hold
// (each does at its next folder); errno is open's when it still fails.
int ParallelScan::retryOpen(const std::function<int()> &open)
{
    int fd = open();
    for (int attempt = 0; attempt < 100 && fd < 0 && outOfDescriptors(errno) && !m_context.stopping(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fd = open();
    }
    return fd;
}

void ParallelScan::work(FolderReader &reader)
{
    NodeIndex reading = 0;
    std::string path;
    std::string name;
    std::vector<NodeIndex> deep;
    Task task{};
    std::size_t pushed = 0;
    bool holding = false; // a task taken and not yet counted off
    std::size_t pathLength = 0; // of the folder read, from the top
    HeldChain held(heldBudget());
    // The folder's chain of parents, from the top down, without the top.
    NodeIndex chain[MaxTaskDepth + 1];
    std::uint32_t levels = 0;
    // The path of the task's folder below the folder held at depth `from` (the top:
    // 0). Called under the lock.
    const auto spell = [&](std::uint32_t from) {
        const CatalogTree &tree = m_context.tree();
        path.clear();
        for (std::uint32_t i = from; i < levels; ++i) {
            const QByteArrayView bytes = tree.nameBytes(chain[i]);
            if (!path.empty())
                path += '/';
            path.append(bytes.data(), std::size_t(bytes.size()));
        }
    };
    // Called under the lock for each sub-folder of the folder just read.
    const FolderReader::FolderHook onFolder = [&](NodeIndex child) {
        const std::size_t childPath = pathLength + (task.depth == 0 ? 0 : 1) + m_context.tree().node(child).nameLength;
        if (task.depth + 1 > MaxTaskDepth || childPath > MaxTaskPath) {
            deep.push_back(child);
        } else {
            m_tasks.push_back({child, task.depth + 1});
            ++pushed;
        }
    };

    const FolderReader::ShareHook onShare = [&](NodeIndex first, std::uint32_t count) {
        m_tasks.push_back({task.folder, task.depth, first, count});
        ++pushed;
    };

    for (;;) {
        std::size_t kept = 0;
        std::uint32_t from = 0; // the depth of the deepest folder held on the way
        {
            std::unique_lock lock(m_context.mutex());
            // The task just done is counted off under the same lock that takes the next.
            if (std::exchange(holding, false) && --m_busy == 0 && m_tasks.empty())
                m_wake.notify_all();
            m_wake.wait(lock, [this] { return !m_tasks.empty() || m_busy == 0 || m_context.stopping(); });
            if (m_context.stopping() || m_tasks.empty()) {
                if (m_context.cancelled())
                    m_context.stopAt(ScanStop::Cancelled, reading, 0);
                lock.unlock();
                m_wake.notify_all();
                return;
            }
            task = m_tasks.back();
            m_tasks.pop_back();
            ++m_busy;
            holding = true;
            reading = task.folder;
            if (m_holdNone.load(std::memory_order_relaxed))
                held.giveBack();
            // The part of the folder's chain this thread still holds open is not
            // opened again: the path is spelt from the deepest folder held.
            const CatalogTree &tree = m_context.tree();
            levels = 0;
            for (NodeIndex n = task.folder; n != 0 && levels <= MaxTaskDepth; n = tree.parent(n))
                chain[levels++] = n;
            std::reverse(chain, chain + levels);
            pathLength = levels == 0 ? 0 : levels - 1;
            for (std::uint32_t i = 0; i < levels; ++i)
                pathLength += tree.node(chain[i]).nameLength;
            kept = held.common(chain, levels);
            from = kept == 0 ? 0 : held.depth(kept - 1);
            spell(from);
        }

        pushed = 0;
        try {
            held.keep(kept);
            HeldFd folder;
            if (task.folder == 0) {
                folder.fd = m_topFd;
                folder.owned = false;
            } else if (from == task.depth) {
                // A range of a huge folder this thread read itself.
                folder.fd = held.fd(kept - 1);
                folder.owned = false;
            } else {
                const int base = kept == 0 ? m_topFd : held.fd(kept - 1);
                folder.fd = from + 1 == task.depth ? openFolderAt(base, path.c_str())
                                                   : openFolderBelow(base, path.c_str());
                if (folder.fd < 0 && outOfDescriptors(errno)) {
                    // Others in the process took descriptors the budget counted on:
                    // every thread gives back the folders it holds, and this one
                    // opens from the top once there is a descriptor to be had.
                    giveBackHeld(held, 0);
                    {
                        const std::lock_guard lock(m_context.mutex());
                        spell(0);
                    }
                    folder.fd = retryOpen([&] {
                        return task.depth == 1 ? openFolderAt(m_topFd, path.c_str())
                                               : openFolderBelow(m_topFd, path.c_str());
                    });
                }
            }
            if (folder.fd < 0) {
                const int error = errno;
                if (outOfDescriptors(error)) {
                    m_context.stopAt(ScanStop::NoDescriptors, task.folder, error);
                } else {
                    const std::lock_guard lock(m_context.mutex());
                    m_context.tree().markUnreadable(task.folder, error);
                }
            } else if (task.count > 0) {
                reader.examine(folder.fd, task.first, task.count, &onFolder);
            } else if (task.folder == 0 || m_context.descends(folder.fd)) {
                reader.read(task.folder, folder.fd, &onFolder, &onShare);
            }
            if (pushed > 0)
                m_wake.notify_all();
            // Below the depth of tasks, the thread that holds the parent walks on alone.
            for (std::size_t i = 0; i < deep.size() && !m_context.stopping(); ++i) {
                const NodeIndex child = deep[i];
                reading = child;
                {
                    const std::lock_guard lock(m_context.mutex());
                    const QByteArrayView bytes = m_context.tree().nameBytes(child);
                    name.assign(bytes.data(), std::size_t(bytes.size()));
                }
                int fd = openFolderAt(folder.fd, name.c_str());
                if (fd < 0 && outOfDescriptors(errno)) {
                    // The folder read may be one of those held: it stays.
                    giveBackHeld(held, folder.owned ? 0 : kept);
                    fd = retryOpen([&] { return openFolderAt(folder.fd, name.c_str()); });
                }
                if (fd < 0) {
                    const int error = errno;
                    if (outOfDescriptors(error)) {
                        m_context.stopAt(ScanStop::NoDescriptors, child, error);
                    } else {
                        const std::lock_guard lock(m_context.mutex());
                        m_context.tree().markUnreadable(child, error);
                    }
                    continue;
                }
                if (!m_context.descends(fd)) {
                    ::close(fd);
                    continue;
                }
                FolderWalk walk(m_context, reader, walkBudget(), reading);
                walk.run(child, fd);
            }
            // A folder whose sub-folders wait as tasks stays open for them: the
            // thread most likely takes them next (the stack is last in, first out)
            // and opens each by its one name.
            if (folder.owned && folder.fd >= 0 && task.count == 0 && pushed > 0 && held.add(task.folder, task.depth, folder.fd))
                folder.owned = false;
        } catch (const std::bad_alloc &) {
            m_context.stopAt(ScanStop::OutOfMemory, reading, 0);
        } catch (const std::length_error &) {
            m_context.stopAt(ScanStop::NodeLimit, reading, 0);
        } catch (...) {
            m_context.stopAt(ScanStop::OutOfMemory, reading, 0);
            const std::lock_guard lock(m_context.mutex());
            if (!m_failure)
                m_failure = std::current_exception();
        }
        deep.clear();
        if (m_context.stopping())
            m_wake.notify_all();
    }
}
