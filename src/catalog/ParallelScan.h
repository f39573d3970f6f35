#pragma once

#include "CatalogTree.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FolderReader;
class ScanContext;

// Reads the folders of one scan on several threads. Every folder to read is a task
// on one shared stack (last in, first out, so the threads stay near the bottom of
// the tree and few tasks wait); a thread takes one, opens the folder by its path
// below the deepest of its parents the thread still holds open (most often its
// parent: one name), reads it with its own FolderReader, which appends the folder's
// children as one block, and pushes the sub-folders as new tasks under the same
// lock. Tasks hold no descriptor: a thread holds the top's (shared), the folder it
// reads, a few of the folders it read before (a chain of parents down to it) and,
// below MaxTaskDepth or where a path grows too long to open in one step, the window
// of a FolderWalk over that subtree. The entries of a huge folder are shared out
// too: its reader appends them all, examines a first range and leaves the others as
// tasks, each opening the folder again by its path.
//
// A scan starts with some threads and may start more while it runs: a thread that
// read from a storage device and slept most of its last moments in the kernel
// waited for the device (the first scan of a disk reads every folder and inode from
// it), and more threads keep more requests in flight, as long as folders wait to be
// read. With the page cache warm, nothing is read from a device and no thread is
// added.
class ParallelScan
{
public:
    // `threads` read from the start, and up to `mostThreads` (no fewer) while they
    // wait for the device. `budget`: descriptors the scan may hold at once, over all
    // its threads, the most of them included.
    ParallelScan(ScanContext &context, unsigned threads, unsigned mostThreads, std::size_t budget);
    ParallelScan(const ParallelScan &) = delete;
    ParallelScan &operator=(const ParallelScan &) = delete;

    // The fewest descriptors with which `threads` threads are worth starting.
    static std::size_t budgetFor(unsigned threads) { return std::size_t(4) * threads; }

    // Reads everything below the top folder, open at `topFd` (which stays the
    // caller's to close), and returns once every thread is done. Stops, a thread's
    // failure among them, are recorded in the context; throws only when not even
    // one thread's buffers can be had.
    void run(int topFd);

private:
    // A folder to read, or (count > 0) a range of the children of a huge folder,
    // already appended, to examine.
    struct Task
    {
        NodeIndex folder;
        std::uint32_t depth;
        NodeIndex first = NoNode;
        std::uint32_t count = 0;
    };

    class HeldChain;
    struct Worker;

    // `added`: a thread started while the scan waits for the device.
    void work(FolderReader &reader, bool added);
    bool startThread(FolderReader &reader, bool added);
    void considerGrowing(Worker &w);
    bool take(Worker &w);
    void spell(Worker &w, std::uint32_t from);
    void perform(Worker &w);
    int openTaskFolder(Worker &w);
    void walkBelowTasks(Worker &w, int folderFd, std::size_t inUse);
    void giveBackHeld(HeldChain &held, std::size_t inUse);
    int retryOpen(const std::function<int()> &open);
    std::size_t perThread(bool added) const;
    static std::size_t heldBudget(std::size_t share);
    static std::size_t walkBudget(std::size_t share);

    ScanContext &m_context;
    unsigned m_threads;
    unsigned m_mostThreads;
    std::size_t m_budget;
    // The threads and their readers; none starts once run() gathers them.
    std::mutex m_startMutex;
    std::vector<std::unique_ptr<FolderReader>> m_readers;
    std::vector<std::thread> m_helpers;
    unsigned m_started = 1; // the calling thread's included
    bool m_closed = false;
    std::atomic<bool> m_mayGrow {false};
    int m_topFd = -1;
    // Guarded by the context's lock, as the tree is.
    std::vector<Task> m_tasks;
    unsigned m_busy = 0;
    // Set when descriptors ran short: no thread holds folders for later any more.
    std::atomic<bool> m_holdNone {false};
    std::condition_variable m_wake;
};
