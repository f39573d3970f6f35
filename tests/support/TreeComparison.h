#pragma once

#include "CatalogTree.h"

#include <QByteArray>

#include <string>
#include <vector>

// What differs between `edited` and `expected` (usually a new scan of the same
// folder), entry by entry by path below the top: kind, size, FileCount, the
// percentage, the record's presence flags, the unreadable reason, and the times of
// everything but folders (listing a folder may move its access time, and removing
// from it its write time). Also what is wrong within `edited` itself: children that
// do not point back at their folder, retired slots reachable from the top, a path
// that reads otherwise than the walk found it, totals and counts that do not add up,
// the list of unreadable folders. Empty when the two agree; at most `limit` lines.
std::vector<std::string> TreeDifferences(
    const CatalogTree &edited, const CatalogTree &expected, std::size_t limit = 20);

// The entry at `relative` below the top ("a/b"; empty: the top), NoNode if none.
NodeIndex NodeAtPath(const CatalogTree &tree, const QByteArray &relative);

// The lines of TreeDifferences in one text, for a test's message.
std::string JoinLines(const std::vector<std::string> &lines);
