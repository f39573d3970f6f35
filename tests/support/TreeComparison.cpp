#include "TreeComparison.h"

#include "CatalogFields.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <map>
#include <utility>

namespace {

class Lines
{
public:
    explicit Lines(std::size_t limit) : m_limit(limit) { }

    void add(const QByteArray &path, const std::string &what)
    {
        if (m_lines.size() < m_limit)
            m_lines.push_back((path.isEmpty() ? std::string("(top)") : path.toStdString()) + ": " + what);
    }
    std::vector<std::string> take() { return std::move(m_lines); }

private:
    std::size_t m_limit;
    std::vector<std::string> m_lines;
};

std::string numbers(std::uint64_t a, std::uint64_t b)
{
    return std::to_string(a) + " against " + std::to_string(b);
}

// Every entry reachable from the top, by its path below the top; what is wrong
// with the links on the way goes to `lines`.
std::map<QByteArray, NodeIndex> entriesOf(const CatalogTree &tree, Lines *lines)
{
    std::map<QByteArray, NodeIndex> entries;
    const QByteArray top = tree.nameBytes(tree.top()).toByteArray();
    const QByteArray prefix = top.isEmpty() || top.endsWith('/') ? top : top + '/';
    std::vector<std::pair<NodeIndex, QByteArray>> pending {{tree.top(), QByteArray()}};
    while (!pending.empty()) {
        const auto [folder, path] = pending.back();
        pending.pop_back();
        entries.emplace(path, folder);
        for (std::uint32_t r = 0; r < tree.childCount(folder); ++r) {
            const NodeIndex child = tree.child(folder, r);
            const QByteArray name = tree.nameBytes(child).toByteArray();
            const QByteArray childPath = path.isEmpty() ? name : path + '/' + name;
            if (lines && tree.parent(child) != folder)
                lines->add(childPath, "does not point back at its folder");
            if (lines && tree.isRetired(child))
                lines->add(childPath, "is a retired slot, reached from the top");
            if (lines && tree.fullPathBytes(child) != prefix + childPath)
                lines->add(childPath, "reads as " + tree.fullPathBytes(child).toStdString());
            pending.emplace_back(child, childPath);
        }
    }
    return entries;
}

void checkSums(const CatalogTree &tree, const std::map<QByteArray, NodeIndex> &entries, Lines &lines)
{
    std::size_t flagged = 0;
    for (const auto &[path, n] : entries) {
        const CatalogNodeData &d = tree.node(n);
        std::uint64_t count = 1;
        std::uint64_t size = 0;
        std::uint64_t diskSize = 0;
        for (std::uint32_t r = 0; r < d.childCount; ++r) {
            const CatalogNodeData &c = tree.node(d.firstChild + r);
            count += c.subtreeCount;
            if (__builtin_add_overflow(size, c.size, &size))
                size = SaturatedSize;
            if (__builtin_add_overflow(diskSize, c.diskSize, &diskSize))
                diskSize = SaturatedSize;
        }
        if (d.subtreeCount != count)
            lines.add(path, "counts " + numbers(d.subtreeCount, count) + " below and itself");
        if (d.kind() == NodeKind::Folder && d.size != size)
            lines.add(path, "has the size " + numbers(d.size, size) + " of its children");
        if (d.diskSize < diskSize)
            lines.add(path, "takes less on disk than its children " + numbers(d.diskSize, diskSize));
        if (d.has(CatalogNodeData::Unreadable)) {
            ++flagged;
            const auto &list = tree.unreadableFolders();
            const auto at =
                std::find_if(list.begin(), list.end(), [n = n](const auto &e) { return e.first == n; });
            if (at == list.end())
                lines.add(path, "is marked unreadable but not listed");
        }
    }
    if (flagged != tree.unreadableFolders().size())
        lines.add(QByteArray(),
            "lists " + numbers(tree.unreadableFolders().size(), flagged) + " unreadable folders");
    if (!std::is_sorted(tree.unreadableFolders().begin(), tree.unreadableFolders().end()))
        lines.add(QByteArray(), "lists its unreadable folders out of order");
    std::size_t retired = 0;
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n)
        retired += tree.isRetired(n) ? 1 : 0;
    if (retired != tree.retiredCount())
        lines.add(QByteArray(), "counts " + numbers(tree.retiredCount(), retired) + " retired slots");
    if (tree.percentageTotal() != double(tree.node(tree.top()).size))
        lines.add(QByteArray(), "has a percentage total other than its size");
}

void compareEntry(const CatalogTree &a, NodeIndex i, const CatalogTree &b, NodeIndex j,
    const QByteArray &path, Lines &lines)
{
    using F = CatalogNodeData;
    const CatalogNodeData &x = a.node(i);
    const CatalogNodeData &y = b.node(j);
    if (x.kind() != y.kind())
        lines.add(path, "kind " + numbers(unsigned(x.kind()), unsigned(y.kind())));
    if (x.size != y.size || x.has(F::HasSize) != y.has(F::HasSize))
        lines.add(path, "size " + numbers(x.size, y.size));
    if (x.diskSize != y.diskSize)
        lines.add(path, "disk usage " + numbers(x.diskSize, y.diskSize));
    if (x.subtreeCount != y.subtreeCount)
        lines.add(path, "subtree count " + numbers(x.subtreeCount, y.subtreeCount));
    for (const int field : {int(SizePercentage), int(FileCount)}) {
        if (a.fieldText(i, field) != b.fieldText(j, field))
            lines.add(path,
                "field " + std::to_string(field) + " reads " + a.fieldText(i, field).toStdString()
                    + " against " + b.fieldText(j, field).toStdString());
    }
    if (x.has(F::HasDetails) != y.has(F::HasDetails))
        lines.add(path, "details differ");
    if (a.unreadableError(i) != b.unreadableError(j) || x.has(F::Unreadable) != y.has(F::Unreadable))
        lines.add(
            path, "unreadable " + numbers(unsigned(a.unreadableError(i)), unsigned(b.unreadableError(j))));
    if (x.kind() == NodeKind::Folder)
        return;
    const std::pair<F::Flag, std::int64_t F::*> stamps[] = {{F::HasCreateTime, &F::createTime},
        {F::HasAccessTime, &F::accessTime}, {F::HasWriteTime, &F::writeTime}};
    for (const auto &[flag, stamp] : stamps) {
        if (x.has(flag) != y.has(flag) || (x.has(flag) && x.*stamp != y.*stamp))
            lines.add(path, "time stamp " + numbers(std::uint64_t(x.*stamp), std::uint64_t(y.*stamp)));
    }
}

} // namespace

std::vector<std::string> TreeDifferences(
    const CatalogTree &edited, const CatalogTree &expected, std::size_t limit)
{
    Lines lines(limit);
    const std::map<QByteArray, NodeIndex> mine = entriesOf(edited, &lines);
    const std::map<QByteArray, NodeIndex> theirs = entriesOf(expected, nullptr);
    checkSums(edited, mine, lines);
    for (const auto &[path, n] : mine) {
        const auto other = theirs.find(path);
        if (other == theirs.end())
            lines.add(path, "is not in the expected tree");
        else
            compareEntry(edited, n, expected, other->second, path, lines);
    }
    for (const auto &[path, n] : theirs) {
        if (!mine.count(path))
            lines.add(path, "is missing");
    }
    if (edited.percentageTotal() != expected.percentageTotal())
        lines.add(QByteArray(), "percentage total differs");
    return lines.take();
}

NodeIndex NodeAtPath(const CatalogTree &tree, const QByteArray &relative)
{
    NodeIndex node = tree.top();
    for (const QByteArray &name : relative.split('/')) {
        if (name.isEmpty())
            continue;
        NodeIndex found = NoNode;
        for (std::uint32_t r = 0; found == NoNode && r < tree.childCount(node); ++r) {
            if (tree.nameBytes(tree.child(node, r)) == name)
                found = tree.child(node, r);
        }
        if (found == NoNode)
            return NoNode;
        node = found;
    }
    return node;
}

std::string JoinLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + '\n';
    return text;
}
