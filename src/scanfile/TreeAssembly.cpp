#include "TreeAssembly.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

TreeAssembly::TreeAssembly(const QByteArray &topName, const CatalogNodeData &top, bool topUnreadable)
{
    m_tree->addTop(topName);
    CatalogNodeData &n = m_tree->node(0);
    n = top;
    n.parent = NoNode;
    n.firstChild = NoNode;
    n.childCount = 0;
    n.setKind(NodeKind::Folder);
    if (topUnreadable)
        m_unreadable.push_back(0);
    m_levels.push_back({0, 0});
}

void TreeAssembly::add(
    QByteArrayView name, const CatalogNodeData &data, bool unreadable, std::uint64_t offset)
{
    if (name.size() > 0xFFFF)
        throw std::length_error("file name too long");
    Pending &p = m_pending.emplace_back(Pending {data, m_names.size(), offset, unreadable});
    p.data.nameLength = std::uint16_t(name.size());
    p.data.firstChild = NoNode;
    p.data.childCount = 0;
    m_names.append(name.data(), std::size_t(name.size()));
    ++m_entries;
}

void TreeAssembly::addFile(QByteArrayView name, const CatalogNodeData &data, bool unreadable,
    std::uint64_t offset, const HardLink *link)
{
    add(name, data, unreadable, offset);
    if (link) {
        HardLink pending = *link;
        pending.node = NodeIndex(m_pending.size() - 1);
        m_pendingLinks.push_back(pending);
    }
}

void TreeAssembly::openFolder(
    QByteArrayView name, const CatalogNodeData &data, bool unreadable, std::uint64_t offset)
{
    add(name, data, unreadable, offset);
    m_levels.push_back({m_pending.size(), m_names.size()});
}

void TreeAssembly::checkNames(std::size_t first)
{
    const std::size_t count = m_pending.size() - first;
    if (count < 2)
        return;
    m_sorted.resize(count);
    for (std::size_t k = 0; k < count; ++k)
        m_sorted[k] = std::uint32_t(first + k);
    std::sort(m_sorted.begin(), m_sorted.end(),
        [this](std::uint32_t a, std::uint32_t b) { return nameOf(m_pending[a]) < nameOf(m_pending[b]); });
    for (std::size_t k = 1; k < count; ++k) {
        const Pending &a = m_pending[m_sorted[k - 1]];
        const Pending &b = m_pending[m_sorted[k]];
        if (nameOf(a) == nameOf(b)) {
            const QByteArrayView name = nameOf(a);
            throw DuplicateName {
                std::max(a.offset, b.offset), std::string(name.data(), std::size_t(name.size()))};
        }
    }
}

void TreeAssembly::closeFolder()
{
    const Level level = m_levels.back();
    checkNames(level.firstPending);
    CatalogTree &tree = *m_tree;
    const bool top = m_levels.size() == 1;
    const auto count = std::uint32_t(m_pending.size() - level.firstPending);
    NodeIndex first = NoNode;
    for (std::size_t k = level.firstPending; k < m_pending.size(); ++k) {
        const Pending &p = m_pending[k];
        // Every node goes in as a child of the top, so that nodes of folders still
        // open can be appended; finish() gives each its place.
        const NodeIndex index = tree.appendChild(0, m_names.data() + p.nameAt, p.data.nameLength);
        if (first == NoNode)
            first = index;
        CatalogNodeData &n = tree.node(index);
        const std::uint64_t nameOffset = n.nameOffset();
        n = p.data;
        n.setNameOffset(nameOffset);
        n.parent = top ? 0 : NoNode;
        for (std::uint32_t c = 0; c < n.childCount; ++c)
            tree.node(n.firstChild + c).parent = index;
        if (p.unreadable)
            m_unreadable.push_back(index);
    }
    while (!m_pendingLinks.empty() && m_pendingLinks.back().node >= level.firstPending) {
        HardLink link = m_pendingLinks.back();
        m_pendingLinks.pop_back();
        link.node = first + NodeIndex(link.node - level.firstPending);
        m_links.push_back(link);
    }
    if (top) {
        m_topFirst = first;
        m_topCount = count;
    } else {
        CatalogNodeData &self = m_pending[level.firstPending - 1].data;
        self.firstChild = first;
        self.childCount = count;
    }
    m_pending.resize(level.firstPending);
    m_names.resize(level.namesAt);
    m_levels.pop_back();
}

std::shared_ptr<CatalogTree> TreeAssembly::finish()
{
    CatalogTree &tree = *m_tree;
    m_pending = {};
    m_names = {};
    tree.node(0).firstChild = m_topFirst;
    tree.node(0).childCount = m_topCount;

    // The new order: the top, then each folder's entries as one block, breadth first.
    // Each node's new index waits in its subtreeCount, which FinishTree sets anew, so
    // the order takes no memory but a list of the folders' blocks.
    const auto n = NodeIndex(tree.nodeCount());
    const auto newIndex = [&tree](NodeIndex old) { return NodeIndex(tree.node(old).subtreeCount); };
    struct Block
    {
        NodeIndex first;
        std::uint32_t count;
    };
    std::vector<Block> blocks {{m_topFirst, m_topCount}};
    tree.node(0).subtreeCount = 0;
    NodeIndex next = 1;
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const Block block = blocks[k];
        for (std::uint32_t c = 0; c < block.count; ++c) {
            CatalogNodeData &d = tree.node(block.first + c);
            d.subtreeCount = next++;
            if (d.childCount > 0)
                blocks.push_back({d.firstChild, d.childCount});
        }
    }
    blocks = {};
    for (NodeIndex i = 0; i < n; ++i) {
        CatalogNodeData &d = tree.node(i);
        if (d.parent != NoNode)
            d.parent = newIndex(d.parent);
        if (d.childCount > 0)
            d.firstChild = newIndex(d.firstChild);
    }
    for (HardLink &link : m_links) {
        link.node = newIndex(link.node);
        tree.addHardLink(link);
    }
    for (NodeIndex &u : m_unreadable)
        u = newIndex(u);
    // Every swap puts one node in its place.
    for (NodeIndex p = 0; p < n; ++p) {
        while (newIndex(p) != p)
            std::swap(tree.node(p), tree.node(newIndex(p)));
    }
    std::sort(m_unreadable.begin(), m_unreadable.end());
    // The file says a folder could not be read, not why.
    for (const NodeIndex u : m_unreadable)
        tree.markUnreadable(u, EIO);
    return m_tree;
}
