#pragma once

#include "CatalogTree.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <string_view>

// What a scan file says of itself besides its entries (the metadata object of the
// format): who wrote it, when, and on which machine.
struct ScanFileMetadata
{
    QByteArray program = "folvane";
    QByteArray version;
    QByteArray hostname;
    std::int64_t timestamp = 0; // seconds since the epoch
};

// The metadata of a file written now on this machine by this program.
ScanFileMetadata CurrentScanFileMetadata();

// Writes `tree` in the JSON export format that ncdu and gdu read (version 1.2) to
// `sink`, in pieces of about 1 MiB; stops when `sink` returns false. Entries go out
// in the tree's order, each folder as an array of its own entry and its children:
// - a file: its name, "asize" (File Size) and "mtime" (Write Time) where known;
//   one that could not be examined has "read_error" and no size, and one of no known
//   kind also "notreg"; a file of several hard links its "dev", "ino", "nlink" and
//   "hlnkc", so that readers can count it once;
// - a folder: its name and "mtime"; a folder that could not be read has
//   "read_error". Its size is what its entries add up to, so none is written;
// - names as their exact bytes: '"', '\' and control characters escaped, every
//   other byte as it is, as ncdu writes them (a name that is not UTF-8 stays so).
// The top entry's name is the scanned path as the tree holds it.
bool WriteScanJson(const CatalogTree &tree, const ScanFileMetadata &metadata,
    const std::function<bool(std::string_view)> &sink);

// Writes the scan file to `path`, gzip-compressed when the name ends in ".gz",
// beside the target and renamed over it once complete (SafeFile::Replacement).
// Returns an empty text or the reason nothing was written.
QString WriteScanFile(const CatalogTree &tree, const QByteArray &path,
    const ScanFileMetadata &metadata = CurrentScanFileMetadata());

// The same file, uncompressed, to the open descriptor `fd` (standard output).
QString WriteScanFile(
    const CatalogTree &tree, int fd, const ScanFileMetadata &metadata = CurrentScanFileMetadata());

// Whether a file of this name is written gzip-compressed.
bool IsGzipName(const QByteArray &path);
