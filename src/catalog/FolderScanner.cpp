#include "FolderScanner.h"

#include "FolderDescriptors.h"
#include "FolderReader.h"
#include "FolderWalk.h"
#include "ParallelScan.h"
#include "RollUp.h"
#include "ScanContext.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sched.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

// More threads than this only wait for one another on the tree's lock.
constexpr unsigned MaxThreads = 64;
// Threads a scan of the default may grow to while they wait for the device: what a
// first scan of a disk needs to keep it busy (see bench/README.md).
constexpr unsigned IoThreads = 16;

struct ThreadPlan
{
    unsigned threads; // from the start
    unsigned most; // while they wait for the device
};

ThreadPlan threadsFor(const ScanOptions &options, std::size_t budget)
{
    ThreadPlan plan {options.threads, options.threads};
    if (options.threads == 0) {
        // The cores this process may run on (taskset, a container's cpuset), which
        // can be fewer than the machine has.
        cpu_set_t cores;
        CPU_ZERO(&cores);
        plan.threads = ::sched_getaffinity(0, sizeof cores, &cores) == 0
            ? unsigned(CPU_COUNT(&cores))
            : std::thread::hardware_concurrency();
        plan.threads = std::max(1u, plan.threads);
        plan.most = std::max(plan.threads, IoThreads);
    }
    plan.most = std::min(plan.most, MaxThreads);
    // With few descriptors to share, the threads would take them from one another:
    // fewer make the most of them, and one walk the most of very few.
    while (plan.most > 1 && budget < ParallelScan::budgetFor(plan.most))
        --plan.most;
    plan.threads = std::min(plan.threads, plan.most);
    return plan;
}

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
    case ScanStop::Failed:
        return "an unexpected error";
    }
    return "";
}

ScanResult ScanFolder(const QByteArray &folderPath, const ScanOptions &options)
{
    ScanResult result;
    std::shared_ptr<CatalogTree> built;
    try {
        built = std::make_shared<CatalogTree>();
        built->addTop(folderPath);
    } catch (const std::bad_alloc &) {
        result.stop = ScanStop::OutOfMemory;
        return result;
    }
    CatalogTree &tree = *built;

    int topFd = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (topFd < 0) {
        result.error = errno;
        result.stop = outOfDescriptors(result.error) ? ScanStop::NoDescriptors : ScanStop::TopUnreadable;
        result.stoppedAt = tree.top();
    } else {
        ScanContext context(tree, options);
        context.setTop(topFd);
        NodeIndex reading = tree.top();
        const std::size_t budget =
            std::clamp(freeDescriptors() / 2, MinDescriptorBudget, MaxDescriptorBudget);
        const ThreadPlan plan = threadsFor(options, budget);
        try {
            if (plan.most == 1) {
                FolderReader reader(context);
                FolderWalk walk(context, reader, budget, reading);
                walk.run(tree.top(), std::exchange(topFd, -1));
            } else {
                ParallelScan(context, plan.threads, plan.most, budget).run(topFd);
            }
        } catch (...) {
            context.stopForException(reading);
        }
        if (topFd >= 0)
            ::close(topFd);
        result.stop = context.stop();
        result.error = context.error();
        if (!result.complete())
            result.stoppedAt = context.stoppedAt();
        // Taken out only now: the threads refer to nodes by index while they run.
        result.stoppedAt = tree.removeLeaves(context.vanishedEntries(), result.stoppedAt);
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

    try {
        FinishTree(tree, options.ranges);
    } catch (const std::bad_alloc &) {
        // Only the classification's copy of the bounds can fail: the tree is rolled
        // up but reads no range fields, and the result says why.
        if (result.complete()) {
            result.stop = ScanStop::OutOfMemory;
            result.stoppedAt = tree.top();
        }
    }
    result.tree = std::move(built);
    return result;
}
