#include "ParallelScan.h"

#include "FolderDescriptors.h"
#include "FolderReader.h"
#include "FolderWalk.h"
#include "ScanContext.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
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

ParallelScan::ParallelScan(ScanContext &context, unsigned threads, std::size_t budget)
    : m_context(context)
    , m_threads(std::max(threads, 1u))
    , m_budget(budget)
{
}

// Each thread holds the folder it reads and, below it, at most this many for a walk.
std::size_t ParallelScan::walkBudget() const
{
    const std::size_t perThread = (m_budget - std::min<std::size_t>(m_budget, 1)) / m_threads;
    return std::max(MinDescriptorBudget, perThread - std::min<std::size_t>(perThread, 1));
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

void ParallelScan::work(FolderReader &reader)
{
    NodeIndex reading = 0;
    std::string path;
    std::string name;
    std::vector<NodeIndex> deep;
    Task task{};
    std::size_t pushed = 0;
    // Called under the lock for each sub-folder of the folder just read.
    const FolderReader::FolderHook onFolder = [&](NodeIndex child) {
        const std::size_t childPath = (task.depth == 0 ? 0 : path.size() + 1)
            + m_context.tree().node(child).nameLength;
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
        {
            std::unique_lock lock(m_context.mutex());
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
            reading = task.folder;
            // The path below the top, from the folder's chain of parents.
            path.clear();
            const CatalogTree &tree = m_context.tree();
            NodeIndex chain[MaxTaskDepth + 1];
            std::uint32_t levels = 0;
            for (NodeIndex n = task.folder; n != 0 && levels <= MaxTaskDepth; n = tree.parent(n))
                chain[levels++] = n;
            while (levels > 0) {
                const QByteArrayView name = tree.nameBytes(chain[--levels]);
                if (!path.empty())
                    path += '/';
                path.append(name.data(), std::size_t(name.size()));
            }
        }

        pushed = 0;
        try {
            HeldFd folder;
            if (task.folder == 0) {
                folder.fd = m_topFd;
                folder.owned = false;
            } else {
                folder.fd = openFolderBelow(m_topFd, path.c_str());
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
                const int fd = openFolderAt(folder.fd, name.c_str());
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

        bool wake = false;
        {
            const std::lock_guard lock(m_context.mutex());
            --m_busy;
            wake = (m_busy == 0 && m_tasks.empty()) || m_context.stopping();
        }
        if (wake)
            m_wake.notify_all();
    }
}
