#include "ScanFileTrees.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace {

std::vector<NodeIndex> childrenByName(const CatalogTree &tree, NodeIndex folder)
{
    std::vector<NodeIndex> children;
    for (std::uint32_t r = 0; r < tree.childCount(folder); ++r)
        children.push_back(tree.child(folder, r));
    std::sort(children.begin(), children.end(),
        [&tree](NodeIndex x, NodeIndex y) { return tree.nameBytes(x) < tree.nameBytes(y); });
    return children;
}

} // namespace

// Where each hard link of `tree` lives now.
std::map<NodeIndex, HardLink> linksOf(const CatalogTree &tree)
{
    std::map<NodeIndex, HardLink> links;
    for (const HardLink &link : tree.hardLinks())
        links[tree.successor(link.node)] = link;
    return links;
}

std::string ScanFileDifferences(const CatalogTree &a, const CatalogTree &b, bool links)
{
    const std::map<NodeIndex, HardLink> linksA = linksOf(a), linksB = linksOf(b);
    std::vector<std::pair<NodeIndex, NodeIndex>> pending {{a.top(), b.top()}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        const std::string path = a.fullPathBytes(x).toStdString();
        if (a.nameBytes(x) != b.nameBytes(y))
            return path + ": named " + b.nameBytes(y).toByteArray().toStdString() + " in the other";
        const CatalogNodeData &n = a.node(x), &m = b.node(y);
        using F = CatalogNodeData;
        if (n.kind() != m.kind())
            return path + ": kinds differ";
        if (n.has(F::HasSize) != m.has(F::HasSize) || n.size != m.size)
            return path + ": sizes differ, " + std::to_string(n.size) + " and " + std::to_string(m.size);
        // A scan keeps no times of its top; the other tools do.
        const bool top = x == a.top();
        if (!top
            && (n.has(F::HasWriteTime) != m.has(F::HasWriteTime)
                || (n.has(F::HasWriteTime) && n.writeTime != m.writeTime)))
            return path + ": write times differ";
        if (n.has(F::HasDetails) != m.has(F::HasDetails))
            return path + ": one has details, the other not";
        if ((a.unreadableError(x) != 0) != (b.unreadableError(y) != 0))
            return path + ": only one is marked unreadable";
        const auto la = linksA.find(x), lb = linksB.find(y);
        const bool linkedA = la != linksA.end(), linkedB = lb != linksB.end();
        const bool sameLinks = linkedA == linkedB
            && (!linkedA
                || (la->second.inode == lb->second.inode && la->second.device == lb->second.device
                    && la->second.links == lb->second.links));
        if (links && !sameLinks)
            return path + ": hard link numbers differ";
        if (n.subtreeCount != m.subtreeCount)
            return path + ": entry counts differ";
        const std::vector<NodeIndex> cx = childrenByName(a, x), cy = childrenByName(b, y);
        if (cx.size() != cy.size())
            return path + ": " + std::to_string(cx.size()) + " and " + std::to_string(cy.size()) + " entries";
        for (std::size_t k = 0; k < cx.size(); ++k)
            pending.emplace_back(cx[k], cy[k]);
    }
    return {};
}

QByteArray ScanFileText(const CatalogTree &tree)
{
    QByteArray text;
    WriteScanJson(tree, ScanFileMetadata(), [&text](std::string_view piece) {
        text.append(piece.data(), qsizetype(piece.size()));
        return true;
    });
    return text;
}

ScanFileResult ReadScanText(const QByteArray &text, const ScanFileOptions &options)
{
    qsizetype at = 0;
    FunctionSource source([&](char *buffer, std::size_t size) {
        // Small pieces, so that tokens straddle the reads.
        const qsizetype n = std::min<qsizetype>({qsizetype(size), text.size() - at, 7});
        std::memcpy(buffer, text.constData() + at, std::size_t(n));
        at += n;
        return std::size_t(n);
    });
    return ReadScanStream(source, QStringLiteral("test.json"), options);
}
