#include "RemovalResult.h"

#include <algorithm>

std::vector<NodeIndex> RemovalResult::removedNodes() const
{
    std::vector<NodeIndex> nodes;
    for (const RemovalOutcome &o : outcomes) {
        if (o.status == RemovalStatus::Removed)
            nodes.push_back(o.node);
    }
    return nodes;
}

std::vector<NodeIndex> RemovalResult::partlyRemovedNodes() const
{
    std::vector<NodeIndex> nodes;
    for (const RemovalOutcome &o : outcomes) {
        if (o.partlyRemoved())
            nodes.push_back(o.node);
    }
    return nodes;
}

std::size_t RemovalResult::count(RemovalStatus status) const
{
    return std::size_t(std::count_if(
        outcomes.begin(), outcomes.end(), [status](const RemovalOutcome &o) { return o.status == status; }));
}

QString OutcomeText(const RemovalOutcome &outcome)
{
    const QString path = QString::fromUtf8(outcome.path);
    switch (outcome.status) {
    case RemovalStatus::Removed:
        return outcome.trashedAs.isEmpty()
            ? QStringLiteral("%1: deleted").arg(path)
            : QStringLiteral("%1: moved to %2").arg(path, QString::fromUtf8(outcome.trashedAs));
    case RemovalStatus::Skipped:
        return QStringLiteral("%1: skipped, %2").arg(path, outcome.reason);
    case RemovalStatus::Failed:
        break;
    }
    QString text = QStringLiteral("%1: %2").arg(path, outcome.reason);
    if (!outcome.stoppedAt.isEmpty() && outcome.stoppedAt != outcome.path)
        text += QStringLiteral(" (stopped at %1; %2 entries removed)")
                    .arg(QString::fromUtf8(outcome.stoppedAt))
                    .arg(outcome.removedEntries);
    return text;
}
