#pragma once

#include "CatalogTree.h"

#include <QString>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Where a file's type stands in a list of types (Statistics::types, the order of the
// type chart), its extension matched as CountStatistics matches it (letter case
// ignored): what gives a file the colour of its type's slice.
class TypeRanks
{
public:
    TypeRanks() = default;
    explicit TypeRanks(const std::vector<std::pair<QString, std::uint64_t>> &types);

    // The position of the file's type, or -1 for a type the list does not have.
    int rankOf(const CatalogTree &tree, NodeIndex file) const;

private:
    std::unordered_map<std::string, int> m_rank;
};
