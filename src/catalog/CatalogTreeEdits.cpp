// The edits of CatalogTree: entries removed, folders replaced by a new scan of theirs.
// Each edit first checks its arguments and allocates all it will need, then changes
// the tree in a part that allocates nothing, so it either completes or throws with
// the tree as it was.

#include "CatalogTree.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace {

using UnreadableList = std::vector<std::pair<NodeIndex, int>>;

std::uint64_t addSizes(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? SaturatedSize : sum;
}

UnreadableList::iterator findIn(UnreadableList &list, NodeIndex node)
{
    const auto at =
        std::lower_bound(list.begin(), list.end(), std::pair(node, std::numeric_limits<int>::min()));
    return at != list.end() && at->first == node ? at : list.end();
}

// Within the capacity reserved before, so it allocates nothing.
void insertInto(UnreadableList &list, NodeIndex node, int error)
{
    const auto at =
        std::lower_bound(list.begin(), list.end(), std::pair(node, std::numeric_limits<int>::min()));
    list.emplace(at, node, error);
}

std::string_view viewOf(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), std::size_t(bytes.size()));
}

} // namespace

NodeIndex CatalogTree::successor(NodeIndex old) const
{
    if (old >= m_nodes.size())
        return NoNode;
    while (isRetired(old)) {
        const NodeIndex next = m_nodes[old].firstChild;
        if (next == old)
            return NoNode;
        old = next;
    }
    return old;
}

void CatalogTree::retire(NodeIndex slot, NodeIndex successor)
{
    CatalogNodeData &n = m_nodes[slot];
    if (n.has(CatalogNodeData::Unreadable))
        moveUnreadable(slot, NoNode);
    n.childCount = 0;
    n.firstChild = successor == NoNode ? slot : successor;
    ++m_retiredCount;
}

// The reason of unreadable folder `from`, about to be retired, goes with the retired
// slots (its rows still show it) and, when `to` is given, to the slot its entry
// moves to.
void CatalogTree::moveUnreadable(NodeIndex from, NodeIndex to)
{
    const auto at = findIn(m_unreadable, from);
    if (at == m_unreadable.end())
        return;
    const int error = at->second;
    m_unreadable.erase(at);
    insertInto(m_retiredUnreadable, from, error);
    if (to != NoNode)
        insertInto(m_unreadable, to, error);
}

void CatalogTree::reserveUnreadable(std::size_t more)
{
    m_unreadable.reserve(m_unreadable.size() + more);
    m_retiredUnreadable.reserve(m_retiredUnreadable.size() + more);
}

// `changed` has its new sizes and count; its ancestors follow. A folder's total is the
// exact sum of its children's (and, on disk, of its own blocks) until it saturates, so
// an exact total takes the difference and a saturated size is summed again from the
// children. A saturated disk usage stays so: a folder's own blocks are not kept apart.
void CatalogTree::resizeAncestors(NodeIndex changed, Totals old, std::int64_t countChange)
{
    Totals childBefore = old;
    NodeIndex child = changed;
    for (NodeIndex a = m_nodes[changed].parent; a != NoNode; child = a, a = m_nodes[a].parent) {
        CatalogNodeData &d = m_nodes[a];
        const Totals before {d.size, d.diskSize};
        if (before.size == SaturatedSize || before.size < childBefore.size) {
            std::uint64_t sum = 0;
            for (std::uint32_t r = 0; r < d.childCount; ++r)
                sum = addSizes(sum, m_nodes[d.firstChild + r].size);
            d.size = sum;
        } else {
            d.size = addSizes(before.size - childBefore.size, m_nodes[child].size);
        }
        if (before.diskSize != SaturatedSize && before.diskSize >= childBefore.diskSize)
            d.diskSize = addSizes(before.diskSize - childBefore.diskSize, m_nodes[child].diskSize);
        d.subtreeCount = std::uint32_t(std::int64_t(d.subtreeCount) + countChange);
        childBefore = before;
    }
    if (m_percentageTotal)
        m_percentageTotal = double(m_nodes[0].size);
}

std::vector<NodeIndex> CatalogTree::removeEntries(const std::vector<NodeIndex> &nodes)
{
    if (!hasPercentages())
        throw std::logic_error("only a finished tree can be edited");
    std::vector<NodeIndex> chosen;
    chosen.reserve(nodes.size());
    for (const NodeIndex n : nodes) {
        if (n != 0 && n < m_nodes.size() && !isRetired(n))
            chosen.push_back(n);
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    const auto chosenAbove = [&](NodeIndex n) {
        for (NodeIndex a = m_nodes[n].parent; a != NoNode; a = m_nodes[a].parent) {
            if (std::binary_search(chosen.begin(), chosen.end(), a))
                return true;
        }
        return false;
    };
    std::vector<NodeIndex> gone;
    gone.reserve(chosen.size());
    for (const NodeIndex n : chosen) {
        if (!chosenAbove(n))
            gone.push_back(n);
    }
    // Grouped by parent; each parent's children that stay move once.
    std::sort(gone.begin(), gone.end(), [this](NodeIndex a, NodeIndex b) {
        return std::pair(m_nodes[a].parent, a) < std::pair(m_nodes[b].parent, b);
    });

    std::size_t moving = 0;
    std::size_t below = 0;
    std::size_t parents = 0;
    for (std::size_t i = 0; i < gone.size();) {
        const NodeIndex parent = m_nodes[gone[i]].parent;
        std::size_t j = i;
        while (j < gone.size() && m_nodes[gone[j]].parent == parent)
            below += m_nodes[gone[j++]].subtreeCount;
        moving += m_nodes[parent].childCount - (j - i);
        ++parents;
        i = j;
    }
    if (m_nodes.size() + moving >= NoNode)
        throw std::length_error("catalog tree is full");
    m_nodes.reserve(m_nodes.size() + moving);
    reserveUnreadable(m_unreadable.size());
    std::vector<NodeIndex> pending;
    pending.reserve(below);
    std::vector<NodeIndex> changed;
    changed.reserve(parents);

    // Nothing allocates from here on.
    for (std::size_t i = 0; i < gone.size();) {
        // An earlier group may have moved this parent: its children stay where they are.
        const NodeIndex parent = successor(m_nodes[gone[i]].parent);
        std::int64_t count = 0;
        std::uint64_t goneDisk = 0;
        for (; i < gone.size() && successor(m_nodes[gone[i]].parent) == parent; ++i) {
            count += m_nodes[gone[i]].subtreeCount;
            goneDisk = addSizes(goneDisk, m_nodes[gone[i]].diskSize);
            pending.push_back(gone[i]);
            while (!pending.empty()) {
                const NodeIndex n = pending.back();
                pending.pop_back();
                const CatalogNodeData &d = m_nodes[n];
                for (std::uint32_t r = 0; r < d.childCount; ++r)
                    pending.push_back(d.firstChild + r);
                retire(n, NoNode);
            }
        }

        CatalogNodeData &p = m_nodes[parent];
        const Totals old {p.size, p.diskSize};
        const auto first = NodeIndex(m_nodes.size());
        std::uint32_t kept = 0;
        std::uint64_t size = 0;
        for (std::uint32_t r = 0; r < p.childCount; ++r) {
            const NodeIndex from = p.firstChild + r;
            if (isRetired(from))
                continue;
            const auto to = NodeIndex(m_nodes.size());
            CatalogNodeData &moved = m_nodes.emplaceBack();
            moved = m_nodes[from];
            for (std::uint32_t c = 0; c < moved.childCount; ++c)
                m_nodes[moved.firstChild + c].parent = to;
            if (moved.has(CatalogNodeData::Unreadable))
                moveUnreadable(from, to);
            retire(from, to);
            size = addSizes(size, moved.size);
            ++kept;
        }
        p.firstChild = kept == 0 ? NoNode : first;
        p.childCount = kept;
        p.size = size;
        // The folder keeps its own blocks; what went takes its own along.
        if (p.diskSize != SaturatedSize)
            p.diskSize -= std::min(p.diskSize, goneDisk);
        p.subtreeCount = std::uint32_t(std::int64_t(p.subtreeCount) - count);
        resizeAncestors(parent, old, -count);
        changed.push_back(parent);
    }
    // A folder changed early may have moved with its siblings later.
    for (NodeIndex &folder : changed)
        folder = successor(folder);
    return changed;
}

std::vector<NodeIndex> CatalogTree::replaceFolder(NodeIndex folder, const CatalogTree &fresh)
{
    if (!hasPercentages() || !fresh.hasPercentages() || &fresh == this)
        throw std::logic_error("only a finished tree can be edited, by another finished tree");
    if (folder >= m_nodes.size() || isRetired(folder) || !isFolder(folder))
        throw std::invalid_argument("only a folder of the tree can be replaced");

    // Fresh's entries in the order they are appended: the children of a folder
    // together, folders in the order they are met. `first` and `count` give the
    // range of an incoming folder's children among them.
    struct Incoming
    {
        NodeIndex from;
        NodeIndex parent; // here
        std::uint32_t first = 0; // position in `incoming`
        std::uint32_t count = 0;
    };
    const auto base = NodeIndex(m_nodes.size());
    const NodeIndex freshTop = fresh.top();
    std::vector<Incoming> incoming;
    incoming.reserve(fresh.node(freshTop).subtreeCount - 1);
    std::vector<NodeIndex> folders {folder};
    std::size_t nameTotal = 0;
    std::size_t longest = 0;
    const auto take = [&](NodeIndex freshFolder, NodeIndex here) {
        const std::uint32_t count = fresh.childCount(freshFolder);
        for (std::uint32_t r = 0; r < count; ++r) {
            const NodeIndex from = fresh.child(freshFolder, r);
            incoming.push_back({from, here});
            nameTotal += std::size_t(fresh.nameBytes(from).size());
            longest = std::max(longest, std::size_t(fresh.nameBytes(from).size()));
        }
    };
    take(freshTop, folder);
    for (std::size_t k = 0; k < incoming.size(); ++k) {
        if (base + k >= NoNode)
            throw std::length_error("catalog tree is full");
        const NodeIndex from = incoming[k].from;
        if (!fresh.isFolder(from))
            continue;
        folders.push_back(NodeIndex(base + k));
        incoming[k].first = std::uint32_t(incoming.size());
        incoming[k].count = fresh.childCount(from);
        take(from, NodeIndex(base + k));
    }
    if (base + incoming.size() >= NoNode)
        throw std::length_error("catalog tree is full");

    // The slots of the old subtree, each with the slot of the same path in the new
    // one, when there is one.
    std::vector<std::pair<NodeIndex, NodeIndex>> old;
    old.reserve(m_nodes[folder].subtreeCount - 1);
    struct Match
    {
        NodeIndex oldFolder;
        std::uint32_t first; // its new children's range in `incoming`
        std::uint32_t count;
    };
    std::vector<Match> matches {{folder, 0, fresh.childCount(freshTop)}};
    std::vector<NodeIndex> unmatched;
    std::unordered_map<std::string_view, std::uint32_t> byName;
    while (!matches.empty()) {
        const Match m = matches.back();
        matches.pop_back();
        byName.clear();
        for (std::uint32_t k = m.first; k < m.first + m.count; ++k)
            byName.emplace(viewOf(fresh.nameBytes(incoming[k].from)), k);
        const CatalogNodeData &o = m_nodes[m.oldFolder];
        for (std::uint32_t r = 0; r < o.childCount; ++r) {
            const NodeIndex child = o.firstChild + r;
            const auto found = byName.find(viewOf(nameBytes(child)));
            if (found == byName.end()) {
                unmatched.push_back(child);
                continue;
            }
            const Incoming &in = incoming[found->second];
            old.emplace_back(child, NodeIndex(base + found->second));
            if (isFolder(child) && fresh.isFolder(in.from))
                matches.push_back({child, in.first, in.count});
            else
                for (std::uint32_t c = 0; c < m_nodes[child].childCount; ++c)
                    unmatched.push_back(m_nodes[child].firstChild + c);
        }
    }
    while (!unmatched.empty()) {
        const NodeIndex n = unmatched.back();
        unmatched.pop_back();
        old.emplace_back(n, NoNode);
        for (std::uint32_t c = 0; c < m_nodes[n].childCount; ++c)
            unmatched.push_back(m_nodes[n].firstChild + c);
    }

    m_nodes.reserve(base + incoming.size());
    if (m_names.reserve(nameTotal, longest) >> 40)
        throw std::length_error("catalog names are full");
    reserveUnreadable(m_unreadable.size() + fresh.unreadableFolders().size() + 1);

    // Nothing allocates from here on.
    for (const auto &[slot, next] : old)
        retire(slot, next);

    CatalogNodeData &f = m_nodes[folder];
    const Totals before {f.size, f.diskSize};
    const std::uint32_t oldCount = f.subtreeCount;
    f.firstChild = NoNode;
    f.childCount = 0;
    for (const Incoming &in : incoming) {
        const auto to = NodeIndex(m_nodes.size());
        const QByteArrayView name = fresh.nameBytes(in.from);
        CatalogNodeData &n = m_nodes.emplaceBack();
        n = fresh.node(in.from);
        n.parent = in.parent;
        n.firstChild = NoNode;
        n.childCount = 0;
        n.setNameOffset(m_names.append(name.data(), std::size_t(name.size())));
        CatalogNodeData &p = m_nodes[in.parent];
        if (p.childCount == 0)
            p.firstChild = to;
        ++p.childCount;
        if (const int error = fresh.unreadableError(in.from))
            m_unreadable.emplace_back(to, error); // larger than every node before
    }

    // The folder's own data as the new scan has it. A scan's top is not examined by
    // a listing of its parent, so times it lacks stay as they were.
    const CatalogNodeData &top = fresh.node(freshTop);
    f.size = top.size;
    f.diskSize = top.diskSize;
    if (top.has(CatalogNodeData::HasSize))
        f.set(CatalogNodeData::HasSize);
    if (top.has(CatalogNodeData::HasCreateTime)) {
        f.createTime = top.createTime;
        f.set(CatalogNodeData::HasCreateTime);
    }
    if (top.has(CatalogNodeData::HasAccessTime)) {
        f.accessTime = top.accessTime;
        f.set(CatalogNodeData::HasAccessTime);
    }
    if (top.has(CatalogNodeData::HasWriteTime)) {
        f.writeTime = top.writeTime;
        f.set(CatalogNodeData::HasWriteTime);
    }
    f.subtreeCount = top.subtreeCount;
    if (f.has(CatalogNodeData::Unreadable)) {
        if (const auto at = findIn(m_unreadable, folder); at != m_unreadable.end())
            m_unreadable.erase(at);
        f.clear(CatalogNodeData::Unreadable);
    }
    if (const int error = fresh.unreadableError(freshTop)) {
        f.set(CatalogNodeData::Unreadable);
        insertInto(m_unreadable, folder, error);
    }
    resizeAncestors(folder, before, std::int64_t(top.subtreeCount) - std::int64_t(oldCount));
    return folders;
}
