#include "TypeRanks.h"

#include "ExtensionKey.h"

TypeRanks::TypeRanks(const std::vector<std::pair<QString, std::uint64_t>> &types)
{
    std::string key;
    for (std::size_t i = 0; i < types.size(); ++i) {
        FoldExtension(types[i].first.toUtf8(), key);
        m_rank.emplace(key, int(i));
    }
}

int TypeRanks::rankOf(const CatalogTree &tree, NodeIndex file) const
{
    thread_local std::string key;
    FoldExtension(FileExtensionBytes(tree, file, tree.node(file)), key);
    const auto found = m_rank.find(key);
    return found == m_rank.end() ? -1 : found->second;
}
