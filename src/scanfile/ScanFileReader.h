#pragma once

#include "ByteSource.h"
#include "CatalogTree.h"
#include "ScanFileWriter.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct ScanFileOptions
{
    // A file with several hard links (the file names its inode) counts its size once:
    // the first of its links in the file keeps it, the others show 0, as a scan with
    // ScanOptions::countHardLinksOnce gives.
    bool countHardLinksOnce = false;
    // Classifies the files as a scan does as it ends (ScanOptions::ranges).
    std::optional<RangeBounds> ranges;
    // Set from any thread to give the reading up: it ends with an error.
    const std::atomic<bool> *cancel = nullptr;
    // Called every few tens of thousands of entries with the number read so far.
    std::function<void(std::uint64_t entries)> progress;
};

struct ScanFileResult
{
    // The tree, finished as a scan's is (FinishTree); null when the file could not
    // be read, and `error` says why.
    std::shared_ptr<CatalogTree> tree;
    ScanFileMetadata metadata;
    // "NAME: byte N: expected ..., found ...", or the system's reason the file could
    // not be opened or read.
    QString error;
    bool cancelled = false; // ScanFileOptions::cancel was set: `error` says so
};

// Folders nested deeper than this below the top are a fault of the file. Linux paths
// have no depth limit of their own (Folvane's scans go far beyond PATH_MAX), so the
// limit is one no real tree comes near: a path of that many one-byte names is 64 KiB
// long, sixteen times PATH_MAX, where the deepest trees Folvane's benchmarks walk are
// 10,000 levels; and it keeps what the reader holds per level to a few megabytes.
inline constexpr std::size_t MaxScanFileDepth = 32768;

// Reads a scan file in the JSON export format of ncdu and gdu (major version 1, any
// minor version), plain or gzip-compressed, in one pass and in pieces: memory goes to
// the entries, never to the file's text. `path` "-" reads standard input. What the
// format does not carry stays empty: creation and access times; a read error names
// no reason (EIO stands for it). A folder's own size in the file is not used: a
// folder's size is what its entries add up to, as in a scan. Excluded entries that
// are folders elsewhere (other file systems, kernel file systems) become folders
// without entries; those excluded by a pattern, entries of unknown kind.
ScanFileResult ReadScanFile(const QByteArray &path, const ScanFileOptions &options = {});

// The same from `source`, named `name` in errors.
ScanFileResult ReadScanStream(ByteSource &source, const QString &name, const ScanFileOptions &options = {});
