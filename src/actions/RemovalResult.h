#pragma once

#include "CatalogTree.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

enum class RemovalStatus : std::uint8_t {
    Removed, // gone: in the trash, or deleted with everything below it
    Skipped, // left alone: it is no longer what the scan found, or may not be removed
    Failed, // tried, and the system refused; a folder may be gone in part
};

// What became of one chosen entry.
struct RemovalOutcome
{
    NodeIndex node = NoNode;
    QByteArray path; // as the scan has it
    RemovalStatus status = RemovalStatus::Skipped;
    // Skipped or Failed: why, in words ("it no longer exists", the system's text).
    QString reason;
    // Failed: the system's reason (an errno value), where it gave one.
    int error = 0;
    // Failed: the entry the removal stopped at (the chosen one, or one below it).
    // A folder deleted in part keeps that entry and whatever it had not reached yet.
    QByteArray stoppedAt;
    // Entries a deletion removed, the chosen one counted; for a folder deleted in
    // part, those gone before it stopped.
    std::uint64_t removedEntries = 0;
    // Moved to the trash: where it lies now.
    QByteArray trashedAs;

    bool partlyRemoved() const { return status == RemovalStatus::Failed && removedEntries > 0; }
};

struct RemovalResult
{
    // One for each chosen entry, in the order they were chosen.
    std::vector<RemovalOutcome> outcomes;

    // The entries that are gone: what CatalogTree::removeEntries takes.
    std::vector<NodeIndex> removedNodes() const;
    // Folders a deletion stopped in: part of what they held is gone, so they are to
    // be read again (CatalogTree::replaceFolder with a new scan of each).
    std::vector<NodeIndex> partlyRemovedNodes() const;
    std::size_t count(RemovalStatus status) const;
};

// One line for a person: "/srv/a: Permission denied (stopped at /srv/a/b; 12
// entries removed)", "/srv/c: skipped, it no longer exists".
QString OutcomeText(const RemovalOutcome &outcome);
