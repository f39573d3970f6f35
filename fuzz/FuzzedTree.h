#pragma once

#include "CatalogTree.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

// A finished scan's tree made from fuzz input the way the scanner makes one: folders
// filled breadth first, the children of one folder appended together; names of
// arbitrary bytes but for "/" and NUL, which no file system name holds (the top path
// may hold "/"); any kind, examined or not (an entry that vanished, or that could not
// be examined, has no size, details or times), unreadable folders without children;
// sizes and time stamps anywhere in their ranges, equal ones and the edges of the
// ranges made likely; classified into ranges of any bounds as of any moment. At most
// MaxNodes nodes.
inline constexpr std::size_t FuzzedTreeMaxNodes = 48;
std::shared_ptr<CatalogTree> MakeFuzzedTree(FuzzedDataProvider &input);
