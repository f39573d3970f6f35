#pragma once

#include "CatalogTree.h"

#include <QByteArray>

#include <memory>
#include <optional>
#include <vector>

struct MergedScan
{
    std::shared_ptr<const CatalogTree> tree;
    QByteArray label; // the name its top gets in the merged tree
};

// The label of a scan read from a file: "host:path" of the file's metadata and top,
// or the file's own name (without .json, .gz) and the path when the file names no host.
QByteArray ScanLabel(const QByteArray &hostname, const QByteArray &fileName, const QByteArray &topPath);

// One tree of several scans: a top named "N scans" with each scan's top below it,
// named by its label (labels that repeat get " (2)", " (3)" ...), and everything below
// as it was. Finished as a scan's tree is, classified by `ranges` when given.
std::shared_ptr<CatalogTree> MergeScans(
    const std::vector<MergedScan> &scans, const std::optional<RangeBounds> &ranges = std::nullopt);
