#pragma once

#include "CatalogTree.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct ScanOptions
{
    // Called a few times a second at most, with the number of entries found and the
    // folder just read (its path as the file system takes it); from any of the
    // scan's threads, but from one at a time.
    std::function<void(std::uint64_t entries, const QByteArray &folder)> progress;
    // Set from any thread to stop the walk within a fraction of a second, even inside
    // a huge folder; what was found so far is kept and rolled up.
    const std::atomic<bool> *cancel = nullptr;
    // Threads that read folders at the same time: 0, one per core the process may
    // run on to begin with, and 16 in all once they wait for a disk (a first scan of
    // it); 1, the walk on the calling thread alone; any other number, that many
    // throughout. Fewer are used when file descriptors are short.
    unsigned threads = 0;
    // Folders on another file system (device) than the scanned folder are kept as
    // folders without children: the scan does not cross mount points.
    bool oneFileSystem = false;
    // A file with several hard links counts its size and disk usage once: the first
    // of its links the scan meets keeps them, the others show 0, so totals count its
    // bytes once. Which link is met first may differ from scan to scan.
    bool countHardLinksOnce = false;
    // When given, the files are classified into these size and age ranges as the
    // scan ends, ages counted from that moment (CatalogTree::classification); without,
    // the tree is left unclassified.
    std::optional<RangeBounds> ranges;
};

// Why a scan ended before it had walked everything.
enum class ScanStop : std::uint8_t {
    None, // complete: every folder that could be read was read
    TopUnreadable, // the scanned folder itself could not be opened or listed
    Cancelled,
    OutOfMemory,
    NodeLimit, // the tree holds as many entries or name bytes as it can
    NoDescriptors, // no file descriptor could be had, even after giving back our own
    Failed, // something unforeseen went wrong: neither memory nor the tree's limits
};

struct ScanResult
{
    // A new tree for every scan; null only when memory ran out before its top node
    // could be made.
    // Complete and classified (FinishTree). Whoever shows it reads it through const
    // views; only its owner changes it afterwards (the window's controller: a new
    // classification moment).
    std::shared_ptr<CatalogTree> tree;
    ScanStop stop = ScanStop::None;
    // The system's reason (an errno value) for TopUnreadable and NoDescriptors, and
    // for Failed when the system gave one.
    int error = 0;
    // The folder that was being read when the scan stopped short.
    NodeIndex stoppedAt = NoNode;

    bool complete() const { return stop == ScanStop::None; }
};

// A short text of why the scan stopped ("out of memory"), empty for ScanStop::None.
const char *ScanStopText(ScanStop stop);

// Builds a new tree from the folder at `folderPath` (bytes as the file system takes
// them; a trailing '/' is allowed): the top node named by the path exactly as given,
// one node for every entry below it at every depth, folder sizes rolled up,
// percentages and counts filled and files classified by options.ranges, also when
// the scan stops short. Symbolic links are recorded with their own size and never
// followed; nothing is opened but folders. Folders that cannot be read stay without
// children and are marked with the reason (CatalogTree::unreadableFolders); an
// entry that cannot be examined keeps its name, path and the kind the listing
// gives; one that vanished between the listing of its folder and its examination
// is left out, as if the folder had been listed a moment later. Never throws for lack of memory; that and any other failure met during the
// walk end the scan with their stop.
ScanResult ScanFolder(const QByteArray &folderPath, const ScanOptions &options = {});
