#pragma once

#include "CatalogTree.h"
#include "TCatalogNode.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

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

// Reads the age and size ranges from the one configuration (GetConfig()); an item
// whose value cannot be read is reported in `problems` and left out.
Ranges LoadRanges(QStringList *problems = nullptr);

// The bucket of a value: the first bound greater than it, else the last ("above")
// bucket, bounds.size(). No bounds: -1 (no bucket).
int SizeRangeIndex(double bytes, const std::vector<double> &bounds);
int AgeRangeIndex(double ageDays, const std::vector<double> &bounds);

// Gives every file of `tree` its size bucket and three age buckets, as of `now`
// (seconds since the epoch): what the range fields of its record read from then on.
void ClassifyFiles(CatalogTree &tree, const Ranges &ranges, std::int64_t now);

// Files of the subtree of `current` (or `current` itself when it is a file) per
// bucket and per extension; extensions merged without regard to letter case, keeping
// the first file's spelling; types ordered by SortTypeCounts.
struct Statistics
{
    std::vector<std::uint64_t> size;
    std::vector<std::uint64_t> createAge;
    std::vector<std::uint64_t> accessAge;
    std::vector<std::uint64_t> writeAge;
    std::vector<std::pair<QString, std::uint64_t>> types;
};
Statistics CountStatistics(const CatalogTree &tree, NodeIndex current);
void SortTypeCounts(std::vector<std::pair<QString, std::uint64_t>> &types);

// Which record field a chart slice's key is compared with.
enum class SliceKind { CreateAge = 0, AccessAge = 1, WriteAge = 2, Size = 3, Type = 4 };

// The files of the subtree of `current` whose field of `kind` equals `key` exactly,
// in the order the Total Tree shows them (`current` alone when it is not a folder),
// with their list percentages.
std::vector<TCatalogNode> SliceListRows(const std::shared_ptr<const CatalogTree> &tree, const TreeOrder &order,
                                        NodeIndex current, SliceKind kind, const QString &key);
