#include "ScanMerge.h"

#include "RollUp.h"
#include "TreeCopy.h"

#include <cstring>
#include <deque>
#include <set>
#include <utility>

QByteArray ScanLabel(const QByteArray &hostname, const QByteArray &fileName, const QByteArray &topPath)
{
    if (!hostname.isEmpty())
        return hostname + ':' + topPath;
    QByteArray base = fileName.mid(fileName.lastIndexOf('/') + 1);
    for (const char *suffix : {".gz", ".json"}) {
        if (base.endsWith(suffix) && base.size() > qsizetype(std::strlen(suffix)))
            base.chop(qsizetype(std::strlen(suffix)));
    }
    return base + ':' + topPath;
}

std::shared_ptr<CatalogTree> MergeScans(
    const std::vector<MergedScan> &scans, const std::optional<RangeBounds> &ranges)
{
    auto merged = std::make_shared<CatalogTree>();
    merged->addTop(QByteArray::number(qulonglong(scans.size())) + " scans");

    // Breadth first, so that the entries of each folder go in as one block.
    struct Copying
    {
        const CatalogTree *from;
        NodeIndex source;
        NodeIndex copy;
    };
    std::deque<Copying> pending;
    std::set<QByteArray> labels;
    for (const MergedScan &scan : scans) {
        QByteArray label = scan.label;
        for (int n = 2; !labels.insert(label).second; ++n)
            label = scan.label + " (" + QByteArray::number(n) + ')';
        const NodeIndex top = CopyEntry(*merged, merged->top(), *scan.tree, scan.tree->top(), label);
        merged->node(top).set(CatalogNodeData::HasDetails);
        pending.push_back({scan.tree.get(), scan.tree->top(), top});
    }
    while (!pending.empty()) {
        const Copying at = pending.front();
        pending.pop_front();
        for (std::uint32_t r = 0; r < at.from->childCount(at.source); ++r) {
            const NodeIndex child = at.from->child(at.source, r);
            const NodeIndex copy = CopyEntry(*merged, at.copy, *at.from, child);
            if (at.from->childCount(child) > 0)
                pending.push_back({at.from, child, copy});
        }
    }
    FinishTree(*merged, ranges);
    return merged;
}
