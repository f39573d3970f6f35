#pragma once

#include "CatalogTree.h"
#include "NodeRows.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class IXMLConfigType;
class TreeOrder;

// The age and size ranges of the configuration: labels and bounds in document order.
struct RangeSet
{
    QStringList labels;
    std::vector<double> bounds; // days for ages, bytes for sizes
};

struct Ranges
{
    RangeSet age;
    RangeSet size;
};

// Reads the age and size ranges of a configuration document; an item whose value
// cannot be read is reported in `problems` and left out.
Ranges LoadRanges(IXMLConfigType &document, QStringList *problems = nullptr);

// The bucket of a value: the first bound greater than it, else the last ("above")
// bucket, bounds.size(). No bounds: -1 (no bucket).
int SizeRangeIndex(double bytes, const std::vector<double> &bounds);
int AgeRangeIndex(double ageDays, const std::vector<double> &bounds);

// The bounds of `ranges`, for a scan to classify its files by (ScanOptions::ranges).
RangeBounds BoundsOf(const Ranges &ranges);

// Gives every file of `tree` its size bucket and three age buckets, as of `now`
// (seconds since the epoch; 0 leaves the tree unclassified): what the range fields
// of its record read from then on.
void ClassifyFiles(CatalogTree &tree, const Ranges &ranges, std::int64_t now);

// Files of the subtree of `current` (or `current` itself when it is a file) per
// bucket and per extension; extensions merged without regard to letter case, keeping
// the spelling of the first file met, files without extension under the empty name;
// types ordered by SortTypeCounts. `typeBytes` holds the same extensions with the sum
// of their files' sizes (saturating at SaturatedSize), ordered the same way by bytes.
// The bucket lists have one entry more than the tree's classification has bounds; a
// file of a tree not classified counts in bucket 0. Files are met in pre-order of `order` (the Total Tree's present order),
// or of the scan's own order when it is null.
struct Statistics
{
    std::vector<std::uint64_t> size;
    std::vector<std::uint64_t> createAge;
    std::vector<std::uint64_t> accessAge;
    std::vector<std::uint64_t> writeAge;
    std::vector<std::pair<QString, std::uint64_t>> types;
    std::vector<std::pair<QString, std::uint64_t>> typeBytes;
};
Statistics CountStatistics(const CatalogTree &tree, NodeIndex current, const TreeOrder *order = nullptr);

// The statistics of a folder after an edit below it, from those before: the files of
// `removed` (what left, counted as CountStatistics counts them before the edit) taken
// out, those of `added` (what came, counted after it) put in. The counts are those a
// new count would give (types and typeBytes alike); a type keeps its place and
// spelling while files of it remain (a new one comes after the others) and both lists
// are ordered again by SortTypeCounts, so equal figures may stand in another order
// than a new count would put them.
void ApplyStatisticsChange(Statistics &statistics, const Statistics &removed, const Statistics &added);

// Orders types by count (or bytes), largest first. Up to SortTypeCountsExactLimit entries it
// leaves equal counts where the exchange procedure of the type chart always has;
// a longer list is sorted stably (equal counts in their order of first appearance).
inline constexpr std::size_t SortTypeCountsExactLimit = 2000;
void SortTypeCounts(std::vector<std::pair<QString, std::uint64_t>> &types);

// Which record field a chart slice's key is compared with.
enum class SliceKind {
    CreateAge = 0,
    AccessAge = 1,
    WriteAge = 2,
    Size = 3,
    Type = 4
};

// The files of the subtree of `current` that CountStatistics counts in the slice
// `key` of `kind`: the bucket number as a plain decimal for a range (bucket 0 holding
// every file of a tree without bounds), the extension for a type (letter case ignored
// the same way). In the order the Total Tree shows them (`current` alone when it is
// not a folder), with their list percentages.
NodeRows SliceListRows(const std::shared_ptr<const CatalogTree> &tree, const TreeOrder &order,
    NodeIndex current, SliceKind kind, const QString &key);
