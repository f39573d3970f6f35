#include "ScanContext.h"

#include "FolderDescriptors.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>

namespace {

constexpr auto ProgressInterval = std::chrono::milliseconds(200);
// The first report comes this early, so a scan of one huge folder that is over
// within the interval still shows a count.
constexpr std::uint64_t FirstReportAfter = 16384;

} // namespace

ScanContext::ScanContext(CatalogTree &tree, const ScanOptions &options)
    : m_tree(tree), m_options(options), m_reportedAt(std::chrono::steady_clock::now())
{ }

void ScanContext::setTop(int topFd)
{
    struct stat st;
    if (::fstat(topFd, &st) == 0) {
        m_topDevice = st.st_dev;
        m_tree.node(m_tree.top()).diskSize = std::uint64_t(st.st_blocks) * 512;
    }
}

bool ScanContext::descends(int fd) const
{
    if (!m_options.oneFileSystem)
        return true;
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_dev == m_topDevice;
}

bool ScanContext::firstLink(std::uint64_t device, std::uint64_t inode)
{
    return m_linksMet.emplace(device, inode).second;
}

const std::vector<NodeIndex> &ScanContext::vanishedEntries()
{
    std::sort(m_vanished.begin(), m_vanished.end());
    return m_vanished;
}

void ScanContext::cannotOpen(NodeIndex folder, int error)
{
    if (outOfDescriptors(error)) {
        stopAt(ScanStop::NoDescriptors, folder, error);
        return;
    }
    const std::lock_guard lock(m_mutex);
    m_tree.markUnreadable(folder, error);
}

void ScanContext::stopForException(NodeIndex where)
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        stopAt(ScanStop::OutOfMemory, where, 0);
    } catch (const std::length_error &) {
        stopAt(ScanStop::NodeLimit, where, 0);
    } catch (const std::system_error &e) {
        // Whatever else the system refused is no lack of memory: the reason goes
        // with the stop.
        const std::error_code code = e.code();
        const bool errnoValue =
            code.category() == std::generic_category() || code.category() == std::system_category();
        if (errnoValue && code.value() == ENOMEM)
            stopAt(ScanStop::OutOfMemory, where, 0);
        else
            stopAt(ScanStop::Failed, where, errnoValue ? code.value() : 0);
    } catch (...) {
        stopAt(ScanStop::Failed, where, 0);
    }
}

void ScanContext::stopAt(ScanStop stop, NodeIndex where, int error)
{
    const std::lock_guard lock(m_stopMutex);
    if (m_stop != ScanStop::None)
        return;
    m_stop = stop;
    m_stoppedAt = where;
    m_error = error;
    m_stopping.store(true, std::memory_order_relaxed);
}

ScanStop ScanContext::stop() const
{
    const std::lock_guard lock(m_stopMutex);
    return m_stop;
}

int ScanContext::error() const
{
    const std::lock_guard lock(m_stopMutex);
    return m_error;
}

NodeIndex ScanContext::stoppedAt() const
{
    const std::lock_guard lock(m_stopMutex);
    return m_stoppedAt;
}

void ScanContext::found(std::uint64_t entries, NodeIndex folder)
{
    const std::uint64_t total = m_found.fetch_add(entries, std::memory_order_relaxed) + entries;
    if (!m_options.progress)
        return;
    // A thread that finds another reporting goes on reading instead of waiting.
    std::unique_lock report(m_reportMutex, std::try_to_lock);
    if (!report.owns_lock())
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool due = now - m_reportedAt >= ProgressInterval || (!m_reportedAny && total >= FirstReportAfter);
    if (!due)
        return;
    m_reportedAny = true;
    m_reportedAt = now;
    QByteArray path;
    {
        const std::lock_guard lock(m_mutex);
        path = m_tree.fullPathBytes(folder);
    }
    m_options.progress(m_found.load(std::memory_order_relaxed), path);
}
