#include "ScanContext.h"

#include <sys/stat.h>

namespace {

constexpr auto ProgressInterval = std::chrono::milliseconds(200);
// The first report comes this early, so a scan of one huge folder that is over
// within the interval still shows a count.
constexpr std::uint64_t FirstReportAfter = 16384;

} // namespace

ScanContext::ScanContext(CatalogTree &tree, const ScanOptions &options)
    : m_tree(tree)
    , m_options(options)
    , m_reportedAt(std::chrono::steady_clock::now())
{
}

void ScanContext::setTop(int topFd)
{
    struct stat st;
    if (::fstat(topFd, &st) == 0)
        m_topDevice = st.st_dev;
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
