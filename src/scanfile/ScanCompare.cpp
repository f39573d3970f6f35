#include "ScanCompare.h"

#include "RollUp.h"
#include "TreeCopy.h"

#include <QDateTime>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace {

std::int64_t difference(std::uint64_t later, std::uint64_t earlier)
{
    // Sizes stay below 2^63 but for a saturated total, which keeps the change in range.
    constexpr std::uint64_t Max = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    if (later >= earlier)
        return std::int64_t(std::min(later - earlier, Max));
    return -std::int64_t(std::min(earlier - later, Max));
}

} // namespace

std::shared_ptr<CatalogTree> CompareScans(
    const CatalogTree &later, const CatalogTree &earlier, const CompareOptions &options)
{
    auto tree = std::make_shared<CatalogTree>();
    tree->addTop(later.nameBytes(later.top()).toByteArray());
    {
        CatalogNodeData &top = tree->node(0);
        top = later.node(later.top());
        top.firstChild = NoNode;
        top.childCount = 0;
        if (const int error = later.unreadableError(later.top()))
            tree->markUnreadable(0, error);
    }
    // Where each node of the result came from, in either scan (NoNode: not there).
    std::vector<NodeIndex> fromLater {later.top()}, fromEarlier {earlier.top()};

    struct Pair
    {
        NodeIndex later;
        NodeIndex earlier;
        NodeIndex copy;
    };
    std::deque<Pair> pending {{later.top(), earlier.top(), 0}};
    std::vector<NodeIndex> earlierByName;
    std::vector<bool> matched;
    const auto byName = [&earlier](
                            NodeIndex a, NodeIndex b) { return earlier.nameBytes(a) < earlier.nameBytes(b); };
    while (!pending.empty()) {
        const Pair at = pending.front();
        pending.pop_front();
        earlierByName.clear();
        if (at.earlier != NoNode) {
            for (std::uint32_t r = 0; r < earlier.childCount(at.earlier); ++r)
                earlierByName.push_back(earlier.child(at.earlier, r));
            std::sort(earlierByName.begin(), earlierByName.end(), byName);
        }
        matched.assign(earlierByName.size(), false);
        const auto add = [&](NodeIndex l, NodeIndex e) {
            const NodeIndex copy =
                l != NoNode ? CopyEntry(*tree, at.copy, later, l) : CopyEntry(*tree, at.copy, earlier, e);
            fromLater.push_back(l);
            fromEarlier.push_back(e);
            const bool laterChildren = l != NoNode && later.childCount(l) > 0;
            const bool earlierChildren =
                e != NoNode && earlier.childCount(e) > 0 && (l == NoNode || later.isFolder(l));
            if (laterChildren || (earlierChildren && !options.hideRemoved))
                pending.push_back({l, e, copy});
        };
        if (at.later != NoNode) {
            for (std::uint32_t r = 0; r < later.childCount(at.later); ++r) {
                const NodeIndex l = later.child(at.later, r);
                const QByteArrayView name = later.nameBytes(l);
                const auto found = std::lower_bound(earlierByName.begin(), earlierByName.end(), name,
                    [&earlier](NodeIndex e, QByteArrayView n) { return earlier.nameBytes(e) < n; });
                NodeIndex e = NoNode;
                if (found != earlierByName.end() && earlier.nameBytes(*found) == name) {
                    e = *found;
                    matched[std::size_t(found - earlierByName.begin())] = true;
                }
                add(l, e);
            }
        }
        if (!options.hideRemoved) {
            for (std::size_t k = 0; k < earlierByName.size(); ++k) {
                if (!matched[k])
                    add(NoNode, earlierByName[k]);
            }
        }
    }

    // Sizes are the scans' own (rolled up there): a folder counts none of its removed
    // entries, a removed folder what it held.
    auto comparison = std::make_shared<ScanComparison>();
    comparison->sizeChange.resize(tree->nodeCount());
    comparison->change.resize(tree->nodeCount());
    for (NodeIndex i = 0; i < tree->nodeCount(); ++i) {
        const NodeIndex l = fromLater[i], e = fromEarlier[i];
        const std::uint64_t laterSize = l != NoNode ? later.node(l).size : 0;
        const std::uint64_t earlierSize = e != NoNode ? earlier.node(e).size : 0;
        const std::int64_t delta = difference(laterSize, earlierSize);
        comparison->sizeChange[i] = delta;
        comparison->change[i] = l == NoNode ? EntryChange::Removed
            : e == NoNode                   ? EntryChange::New
            : delta > 0                     ? EntryChange::Grown
            : delta < 0                     ? EntryChange::Shrunk
                                            : EntryChange::Unchanged;
    }
    tree->setComparison(std::move(comparison));
    FillPercentages(*tree, double(tree->node(0).size));
    if (options.ranges)
        tree->setClassification(
            {options.ranges->sizeBounds, options.ranges->ageBounds, QDateTime::currentSecsSinceEpoch()});
    return tree;
}
