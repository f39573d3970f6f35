#pragma once

#include "CatalogTree.h"
#include "FolderScanner.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <sys/types.h>
#include <unordered_set>
#include <utility>
#include <vector>

// What the threads of one scan share: the tree, which any of them reads or writes
// only while holding mutex() (its chunk tables grow under a reader's feet
// otherwise), why and where the scan stopped, and the progress reports.
class ScanContext
{
public:
    ScanContext(CatalogTree &tree, const ScanOptions &options);
    ScanContext(const ScanContext &) = delete;
    ScanContext &operator=(const ScanContext &) = delete;

    CatalogTree &tree() { return m_tree; }
    std::mutex &mutex() { return m_mutex; }
    const ScanOptions &options() const { return m_options; }

    // The device of the scanned folder, open at `topFd`, for oneFileSystem; and the
    // folder's own blocks, which its disk usage starts from. Before the threads start.
    void setTop(int topFd);
    // Whether the folder open at `fd` is to be read: always, but with oneFileSystem
    // only when it is on the scanned folder's device.
    bool descends(int fd) const;
    // For countHardLinksOnce: true the first time a file of several links is met,
    // by its device and inode numbers. Call it holding mutex().
    bool firstLink(std::uint64_t device, std::uint64_t inode);
    // Entries that vanished after their folder was listed, before they could be
    // examined: the scan takes them out of the tree when it ends, so that every
    // entry it hands out is a file or a folder that was there. Call both holding
    // mutex(); reserve first, so that noting cannot fail half way through a batch.
    void reserveVanished(std::size_t more) { m_vanished.reserve(m_vanished.size() + more); }
    void vanished(NodeIndex node) { m_vanished.push_back(node); }
    // Once every thread is done: the vanished entries, in increasing order.
    const std::vector<NodeIndex> &vanishedEntries();
    // A folder that could not be opened for `error`: the scan stops when
    // descriptors ran out, the folder is marked unreadable for any other reason.
    void cannotOpen(NodeIndex folder, int error);

    bool cancelled() const { return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed); }
    // True once a thread stopped the scan or a cancel was asked for: every thread
    // gives up at its next step.
    bool stopping() const { return m_stopping.load(std::memory_order_relaxed) || cancelled(); }
    // The first stop wins; later ones (threads that ran into the same trouble, or
    // gave up because of it) keep its reason and place.
    void stopAt(ScanStop stop, NodeIndex where, int error);
    // Records the stop for the exception being handled (call it in a catch block):
    // a full tree, lack of memory, or anything else as a failure of the scan.
    void stopForException(NodeIndex where);
    ScanStop stop() const;
    int error() const;
    NodeIndex stoppedAt() const;

    // Counts `entries` just appended below `folder` and reports progress when one is
    // due. Never call it while holding mutex().
    void found(std::uint64_t entries, NodeIndex folder);

private:
    CatalogTree &m_tree;
    const ScanOptions &m_options;
    std::mutex m_mutex;

    dev_t m_topDevice = 0;
    struct LinkHash
    {
        std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t> &l) const
        {
            return std::hash<std::uint64_t>()(l.first * 0x9E3779B97F4A7C15ull ^ l.second);
        }
    };
    std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, LinkHash> m_linksMet; // under m_mutex
    std::vector<NodeIndex> m_vanished; // under m_mutex

    std::atomic<bool> m_stopping {false};
    mutable std::mutex m_stopMutex;
    ScanStop m_stop = ScanStop::None;
    int m_error = 0;
    NodeIndex m_stoppedAt = NoNode;

    std::atomic<std::uint64_t> m_found {0};
    std::mutex m_reportMutex; // one report at a time, whichever thread makes it
    bool m_reportedAny = false;
    std::chrono::steady_clock::time_point m_reportedAt;
};
