#include "ParallelScan.h"

#include "FolderDescriptors.h"
#include "FolderReader.h"
#include "FolderWalk.h"
#include "ScanContext.h"
#include "SleepMeter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// Folders deeper than this are walked by one thread with a FolderWalk: opening a
// folder by its path costs a step per level, and a deep chain has nothing to share
// out anyway.
constexpr std::uint32_t MaxTaskDepth = 48;
// A path longer than this is not opened in one step (PATH_MAX bounds it).
constexpr std::size_t MaxTaskPath = PATH_MAX / 2;
// How often a thread looks at how much it slept, and the share of sleep that starts
// more threads when the thread read from a device meanwhile. One that waits for a
// disk sleeps most of its time; one that reads from the page cache reads nothing
// from a device, and sleeps only on the tree's lock.
constexpr std::chrono::milliseconds SleepInterval {10};
constexpr double GrowWhenAsleep = 0.5;

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

// What one thread keeps from task to task: the task being done and where it
// stands, the folders held open, and the buffers its paths are spelt in.
struct ParallelScan::Worker
{
    Worker(ParallelScan &scan, FolderReader &reader, bool added)
        : reader(reader), share(scan.perThread(added)), held(heldBudget(share))
    {
        // Called under the lock for each sub-folder of the folder just read.
        onFolder = [&scan, this](NodeIndex child) {
            const std::size_t childPath =
                pathLength + (task.depth == 0 ? 0 : 1) + scan.m_context.tree().node(child).nameLength;
            if (task.depth + 1 > MaxTaskDepth || childPath > MaxTaskPath) {
                deep.push_back(child);
            } else {
                scan.m_tasks.push_back({child, task.depth + 1});
                ++pushed;
            }
        };
        onShare = [&scan, this](NodeIndex first, std::uint32_t count) {
            scan.m_tasks.push_back({task.folder, task.depth, first, count});
            ++pushed;
        };
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    FolderReader &reader;
    std::size_t share; // of the descriptor budget
    // While the scan may add threads: how much this one sleeps, and how long it
    // waited for tasks since it last looked (that sleep says nothing of the device).
    std::optional<SleepMeter> sleep;
    std::chrono::nanoseconds idle {0};
    bool waited = false; // for a device, the last time it looked
    Task task {};
    // The folder being read or opened: where the scan stopped if this thread stops it.
    NodeIndex reading = 0;
    bool holding = false; // a task taken and not yet counted off
    std::size_t pushed = 0; // tasks the task being done left to others
    // The task's folder's chain of parents, from the top down, without the top,
    // and the length of its path from the top.
    NodeIndex chain[MaxTaskDepth + 1];
    std::uint32_t levels = 0;
    std::size_t pathLength = 0;
    // How many folders of the chain `held` has open, and the depth of the deepest
    // (0: none, the path starts at the top).
    std::size_t kept = 0;
    std::uint32_t from = 0;
    std::string path; // of the task's folder, below the deepest held
    std::string name; // of a folder walked below the depth of tasks
    std::vector<NodeIndex> deep; // sub-folders too deep to be tasks, walked at once
    HeldChain held;
    FolderReader::FolderHook onFolder;
    FolderReader::ShareHook onShare;
};

ParallelScan::ParallelScan(ScanContext &context, unsigned threads, unsigned mostThreads, std::size_t budget)
    : m_context(context), m_threads(std::max(threads, 1u)), m_mostThreads(std::max(mostThreads, m_threads)),
      m_budget(budget)
{ }

// Each thread holds the folder it reads, the folders of its HeldChain and, below the
// folder it reads, the window of a walk: the three shares of its part of the budget.
// A thread added while the scan waits for the device holds no folders for later and
// walks with the smallest window; the threads that start share what is left, so a
// scan that never grows holds as many folders as one that cannot.
std::size_t ParallelScan::perThread(bool added) const
{
    constexpr std::size_t AddedShare = 1 + MinDescriptorBudget;
    if (added)
        return AddedShare;
    const std::size_t reserved = 1 + (m_mostThreads - m_threads) * AddedShare;
    return (m_budget - std::min(m_budget, reserved)) / m_threads;
}

std::size_t ParallelScan::heldBudget(std::size_t share)
{
    return std::min<std::size_t>(MaxTaskDepth, share / 4);
}

std::size_t ParallelScan::walkBudget(std::size_t share)
{
    const std::size_t rest = share - std::min(share, heldBudget(share) + 1);
    return std::max(MinDescriptorBudget, rest);
}

void ParallelScan::run(int topFd)
{
    m_topFd = topFd;
    m_tasks.reserve(1024);
    m_tasks.push_back({0, 0});
    {
        const std::lock_guard lock(m_startMutex);
        // The first threads' buffers are taken here, before any folder is read, so a
        // shortage of memory shows at once, in one place, and not at some moment of
        // the walk that depends on when a thread got going.
        m_readers.reserve(m_mostThreads);
        m_helpers.reserve(m_mostThreads - 1);
        for (unsigned i = 0; i < m_threads; ++i) {
            try {
                m_readers.push_back(std::make_unique<FolderReader>(m_context));
            } catch (const std::bad_alloc &) {
                if (m_readers.empty())
                    throw;
                break; // fewer threads read the same tree
            } catch (const std::system_error &) {
                if (m_readers.empty())
                    throw;
                break;
            }
        }
        bool started = m_readers.size() == m_threads;
        for (std::size_t i = 1; i < m_readers.size() && started; ++i)
            started = startThread(*m_readers[i], false);
        m_mayGrow.store(started && m_mostThreads > m_started, std::memory_order_relaxed);
    }
    work(*m_readers[0], false);
    // This thread ends last but for those it now waits for: every task is done (or
    // the scan stopped), so no thread starts after this.
    std::vector<std::thread> helpers;
    {
        const std::lock_guard lock(m_startMutex);
        m_closed = true;
        helpers.swap(m_helpers);
    }
    for (std::thread &t : helpers)
        t.join();
}

// Starts a thread that works with `reader`; false when the system refuses one.
// Called holding m_startMutex.
bool ParallelScan::startThread(FolderReader &reader, bool added)
{
    try {
        m_helpers.emplace_back([this, &reader, added] { work(reader, added); });
    } catch (const std::system_error &) {
        return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
    ++m_started;
    return true;
}

// Starts the most threads when this one waited for a device most of the time, twice
// in a row, and folders wait to be read: a cold scan goes to its full speed at once,
// while a page of a library read in once does not start any. Threads are never
// stopped early: one that finds no task ends as any does.
void ParallelScan::considerGrowing(Worker &w)
{
    const std::optional<SleepMeter::Share> share = w.sleep->share(SleepInterval, std::exchange(w.idle, {}));
    if (!share)
        return;
    const bool waited = share->deviceBytes > 0 && share->slept >= GrowWhenAsleep;
    if (!std::exchange(w.waited, waited) || !waited || m_context.stopping())
        return;
    {
        const std::lock_guard lock(m_context.mutex());
        if (m_tasks.empty())
            return;
    }
    const std::lock_guard lock(m_startMutex);
    if (m_closed || !m_mayGrow.load(std::memory_order_relaxed))
        return;
    while (m_started < m_mostThreads) {
        bool started = false;
        try {
            m_readers.push_back(std::make_unique<FolderReader>(m_context));
            started = startThread(*m_readers.back(), true);
        } catch (const std::bad_alloc &) {
        } catch (const std::system_error &) { }
        if (!started)
            break;
    }
    // Grown to the most, or short of memory or threads: the scan goes on with those it has.
    m_mayGrow.store(false, std::memory_order_relaxed);
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
    for (int attempt = 0; attempt < 100 && fd < 0 && outOfDescriptors(errno) && !m_context.stopping();
         ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fd = open();
    }
    return fd;
}

void ParallelScan::work(FolderReader &reader, bool added)
{
    Worker w(*this, reader, added);
    if (m_mostThreads > m_threads)
        w.sleep.emplace();
    while (take(w)) {
        try {
            perform(w);
        } catch (...) {
            m_context.stopForException(w.reading);
        }
        w.deep.clear();
        if (m_context.stopping())
            m_wake.notify_all();
        else if (w.sleep && m_mayGrow.load(std::memory_order_relaxed))
            considerGrowing(w);
    }
}

// Counts off the task just done and takes the next, waiting while other threads
// may still push some; false once there is none left or the scan stops. The part
// of the task folder's chain this thread still holds open is not opened again: the
// path is spelt from the deepest folder held.
bool ParallelScan::take(Worker &w)
{
    std::unique_lock lock(m_context.mutex());
    // The task just done is counted off under the same lock that takes the next.
    if (std::exchange(w.holding, false) && --m_busy == 0 && m_tasks.empty())
        m_wake.notify_all();
    const auto ready = [this] { return !m_tasks.empty() || m_busy == 0 || m_context.stopping(); };
    if (w.sleep && !ready()) {
        const auto waitFrom = std::chrono::steady_clock::now();
        m_wake.wait(lock, ready);
        w.idle += std::chrono::steady_clock::now() - waitFrom;
    }
    m_wake.wait(lock, ready);
    if (m_context.stopping() || m_tasks.empty()) {
        if (m_context.cancelled())
            m_context.stopAt(ScanStop::Cancelled, w.reading, 0);
        lock.unlock();
        m_wake.notify_all();
        return false;
    }
    w.task = m_tasks.back();
    m_tasks.pop_back();
    ++m_busy;
    w.holding = true;
    w.reading = w.task.folder;
    if (m_holdNone.load(std::memory_order_relaxed))
        w.held.giveBack();
    const CatalogTree &tree = m_context.tree();
    w.levels = 0;
    for (NodeIndex n = w.task.folder; n != 0 && w.levels <= MaxTaskDepth; n = tree.parent(n))
        w.chain[w.levels++] = n;
    std::reverse(w.chain, w.chain + w.levels);
    w.pathLength = w.levels == 0 ? 0 : w.levels - 1;
    for (std::uint32_t i = 0; i < w.levels; ++i)
        w.pathLength += tree.node(w.chain[i]).nameLength;
    w.kept = w.held.common(w.chain, w.levels);
    w.from = w.kept == 0 ? 0 : w.held.depth(w.kept - 1);
    spell(w, w.from);
    return true;
}

// The path of the task's folder below the folder held at depth `from` (the top: 0).
// Called under the lock.
void ParallelScan::spell(Worker &w, std::uint32_t from)
{
    const CatalogTree &tree = m_context.tree();
    w.path.clear();
    for (std::uint32_t i = from; i < w.levels; ++i) {
        const QByteArrayView bytes = tree.nameBytes(w.chain[i]);
        if (!w.path.empty())
            w.path += '/';
        w.path.append(bytes.data(), std::size_t(bytes.size()));
    }
}

// Reads the folder of the task taken (or examines its range), then walks its
// sub-folders too deep to be tasks.
void ParallelScan::perform(Worker &w)
{
    const Task &task = w.task;
    w.pushed = 0;
    w.held.keep(w.kept);
    HeldFd folder;
    if (task.folder == 0) {
        folder.fd = m_topFd;
        folder.owned = false;
    } else if (w.from == task.depth) {
        // A range of a huge folder this thread read itself.
        folder.fd = w.held.fd(w.kept - 1);
        folder.owned = false;
    } else {
        folder.fd = openTaskFolder(w);
    }
    if (folder.fd < 0)
        m_context.cannotOpen(task.folder, errno);
    else if (task.count > 0)
        w.reader.examine(folder.fd, task.first, task.count, &w.onFolder);
    else if (task.folder == 0 || m_context.descends(folder.fd))
        w.reader.read(task.folder, folder.fd, &w.onFolder, &w.onShare);
    if (w.pushed > 0)
        m_wake.notify_all();
    // The folder read may be one of those held: it stays.
    walkBelowTasks(w, folder.fd, folder.owned ? 0 : w.kept);
    // A folder whose sub-folders wait as tasks stays open for them: the thread most
    // likely takes them next (the stack is last in, first out) and opens each by
    // its one name.
    if (folder.owned && folder.fd >= 0 && task.count == 0 && w.pushed > 0
        && w.held.add(task.folder, task.depth, folder.fd))
        folder.owned = false;
}

// Opens the task's folder below the deepest folder held; errno is open's when it fails.
int ParallelScan::openTaskFolder(Worker &w)
{
    const std::uint32_t depth = w.task.depth;
    const int base = w.kept == 0 ? m_topFd : w.held.fd(w.kept - 1);
    const int fd =
        w.from + 1 == depth ? openFolderAt(base, w.path.c_str()) : openFolderBelow(base, w.path.c_str());
    if (fd >= 0 || !outOfDescriptors(errno))
        return fd;
    // Others in the process took descriptors the budget counted on: every thread
    // gives back the folders it holds, and this one opens from the top once there
    // is a descriptor to be had.
    giveBackHeld(w.held, 0);
    {
        const std::lock_guard lock(m_context.mutex());
        spell(w, 0);
    }
    return retryOpen([&] {
        return depth == 1 ? openFolderAt(m_topFd, w.path.c_str()) : openFolderBelow(m_topFd, w.path.c_str());
    });
}

// Below the depth of tasks, the thread that holds the parent, open at `folderFd`,
// walks on alone. `inUse`: the held folders to keep when descriptors run short.
void ParallelScan::walkBelowTasks(Worker &w, int folderFd, std::size_t inUse)
{
    for (std::size_t i = 0; i < w.deep.size() && !m_context.stopping(); ++i) {
        const NodeIndex child = w.deep[i];
        w.reading = child;
        {
            const std::lock_guard lock(m_context.mutex());
            const QByteArrayView bytes = m_context.tree().nameBytes(child);
            w.name.assign(bytes.data(), std::size_t(bytes.size()));
        }
        int fd = openFolderAt(folderFd, w.name.c_str());
        if (fd < 0 && outOfDescriptors(errno)) {
            giveBackHeld(w.held, inUse);
            fd = retryOpen([&] { return openFolderAt(folderFd, w.name.c_str()); });
        }
        if (fd < 0) {
            m_context.cannotOpen(child, errno);
            continue;
        }
        if (!m_context.descends(fd)) {
            ::close(fd);
            continue;
        }
        FolderWalk walk(m_context, w.reader, walkBudget(w.share), w.reading);
        walk.run(child, fd);
    }
}
