#pragma once

#include "CatalogTree.h"

#include <QByteArrayView>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Two entries of one name in one folder.
struct DuplicateName
{
    std::uint64_t offset; // where the second of them stands in the file
    std::string name;
};

// Builds a CatalogTree from entries met depth first, as a scan file lists them: a
// folder, then its entries, each folder's entries before the next entry of its
// parent. A tree keeps the entries of a folder at consecutive indexes and every
// entry after its folder, which that order cannot give as it comes; so the entries
// of each open folder wait here (a few dozen bytes each) until the folder closes,
// and go into the tree then as one block; finish() puts the nodes in the order of a
// scan's tree (folders before their entries) in place, with a list of the folders'
// blocks as all it needs besides.
class TreeAssembly
{
public:
    // `top`: the top folder's own data (kind, times); its name is `topName`.
    TreeAssembly(const QByteArray &topName, const CatalogNodeData &top, bool topUnreadable);

    // `data`: kind, flags, size and times; `offset`: where the entry begins in the file;
    // `link`: its hard link numbers, for a file of several (its node is not used).
    void addFile(QByteArrayView name, const CatalogNodeData &data, bool unreadable, std::uint64_t offset,
        const HardLink *link = nullptr);
    // A folder in the current one, which becomes the current one.
    void openFolder(QByteArrayView name, const CatalogNodeData &data, bool unreadable, std::uint64_t offset);
    // Ends the current folder (the top too); throws DuplicateName when two of its
    // entries share a name, std::length_error when the tree is full.
    void closeFolder();
    // Folders open below the top.
    std::size_t depth() const { return m_levels.size() - 1; }
    std::uint64_t entries() const { return m_entries; }

    // Once the top is closed: the tree, not rolled up yet (FinishTree does that).
    std::shared_ptr<CatalogTree> finish();

private:
    struct Pending
    {
        CatalogNodeData data; // for a closed folder, its block of entries in the tree
        std::uint64_t nameAt; // in m_names
        std::uint64_t offset;
        bool unreadable;
    };
    struct Level
    {
        std::size_t firstPending;
        std::size_t namesAt;
    };

    void add(QByteArrayView name, const CatalogNodeData &data, bool unreadable, std::uint64_t offset);
    QByteArrayView nameOf(const Pending &p) const
    {
        return QByteArrayView(m_names.data() + p.nameAt, p.data.nameLength);
    }
    void checkNames(std::size_t first);

    std::shared_ptr<CatalogTree> m_tree = std::make_shared<CatalogTree>();
    std::vector<Pending> m_pending;
    std::string m_names;
    std::vector<Level> m_levels;
    std::vector<NodeIndex> m_unreadable; // nodes as appended, before the new order
    // Hard links of pending entries, by position in m_pending (in that order), then by
    // node as appended.
    std::vector<HardLink> m_pendingLinks;
    std::vector<HardLink> m_links;
    std::vector<std::uint32_t> m_sorted; // checkNames' own
    NodeIndex m_topFirst = NoNode;
    std::uint32_t m_topCount = 0;
    std::uint64_t m_entries = 1;
};
