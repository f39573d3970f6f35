#include "EntryRemoval.h"

#include "ChosenEntry.h"
#include "FolderEraser.h"
#include "SafeFile.h"
#include "TrashCan.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Acts on each chosen entry that is still what the scan found; entries chosen twice
// or below another chosen one take that one's outcome.
template <typename Act>
RemovalResult removeEach(const CatalogTree &tree, const std::vector<NodeIndex> &nodes, Act &&act)
{
    RemovalResult result;
    result.outcomes.resize(nodes.size());
    const auto live = [&tree](NodeIndex n) { return n < tree.nodeCount() && !tree.isRetired(n); };
    // Each chosen node with the first place it was chosen at; the top is never
    // removed, so it takes nothing with it.
    std::vector<std::pair<NodeIndex, std::size_t>> chosen;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        chosen.emplace_back(nodes[i], i);
    std::sort(chosen.begin(), chosen.end());
    const auto firstPlaceOf = [&chosen](NodeIndex n) {
        const auto at = std::lower_bound(chosen.begin(), chosen.end(), std::pair(n, std::size_t(0)));
        return at != chosen.end() && at->first == n ? at->second : std::size_t(-1);
    };
    // The outcome an entry takes over: that of the highest of its folders chosen too,
    // or of its own first place; nodes.size() for an entry acted on.
    const auto leadOf = [&](std::size_t i) {
        std::size_t lead = std::size_t(-1);
        for (NodeIndex a = live(nodes[i]) ? tree.parent(nodes[i]) : NoNode; a != NoNode && a != tree.top();
             a = tree.parent(a)) {
            if (const std::size_t place = firstPlaceOf(a); place != std::size_t(-1))
                lead = place;
        }
        if (lead == std::size_t(-1))
            lead = firstPlaceOf(nodes[i]);
        return lead == i ? nodes.size() : lead;
    };

    std::vector<std::size_t> leads(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        RemovalOutcome &outcome = result.outcomes[i];
        outcome.node = nodes[i];
        leads[i] = leadOf(i);
        if (leads[i] != nodes.size())
            continue;
        const ChosenEntry entry(tree, nodes[i]);
        outcome.path = entry.path();
        if (!entry.usable()) {
            outcome.status = entry.error() != 0 ? RemovalStatus::Failed : RemovalStatus::Skipped;
            outcome.reason = entry.reason();
            outcome.error = entry.error();
            outcome.stoppedAt = entry.error() != 0 ? entry.path() : QByteArray();
            continue;
        }
        act(entry, outcome);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (leads[i] == nodes.size())
            continue;
        const RemovalOutcome &lead = result.outcomes[leads[i]];
        RemovalOutcome &outcome = result.outcomes[i];
        outcome.path = tree.fullPathBytes(nodes[i]);
        if (lead.node == outcome.node) {
            outcome = lead;
        } else if (lead.status == RemovalStatus::Removed) {
            outcome.status = RemovalStatus::Removed;
        } else {
            outcome.status = RemovalStatus::Skipped;
            outcome.reason = QStringLiteral("it lies in %1, chosen too, which was not removed")
                                 .arg(QString::fromUtf8(lead.path));
        }
    }
    return result;
}

void failed(RemovalOutcome &outcome, int error, const QString &reason = QString())
{
    outcome.status = RemovalStatus::Failed;
    outcome.error = error;
    outcome.reason = reason.isEmpty() ? SafeFile::reason(error) : reason;
    outcome.stoppedAt = outcome.path;
}

} // namespace

RemovalResult MoveToTrash(const CatalogTree &tree, const std::vector<NodeIndex> &nodes)
{
    const TrashCan trash;
    return removeEach(tree, nodes, [&trash](const ChosenEntry &entry, RemovalOutcome &outcome) {
        const TrashCan::Outcome moved = trash.moveToTrash(entry);
        if (!moved.moved()) {
            failed(outcome, moved.error, moved.reason);
            return;
        }
        outcome.status = RemovalStatus::Removed;
        outcome.trashedAs = moved.trashedAs;
    });
}

RemovalResult DeletePermanently(const CatalogTree &tree, const std::vector<NodeIndex> &nodes)
{
    return removeEach(tree, nodes, [](const ChosenEntry &entry, RemovalOutcome &outcome) {
        if (!entry.isFolder()) {
            if (::unlinkat(entry.folder(), entry.name().constData(), 0) != 0) {
                failed(outcome, errno);
                return;
            }
            outcome.status = RemovalStatus::Removed;
            outcome.removedEntries = 1;
            return;
        }
        const FolderEraser::Result erased =
            FolderEraser::erase(entry.folder(), entry.name(), entry.path(), entry.device(), entry.inode());
        outcome.removedEntries = erased.removed;
        if (!erased.complete()) {
            failed(outcome, erased.error, erased.reason);
            outcome.stoppedAt = erased.stoppedAt;
            return;
        }
        outcome.status = RemovalStatus::Removed;
    });
}
