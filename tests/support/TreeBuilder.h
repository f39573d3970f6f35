#pragma once

#include "CatalogTree.h"
#include "RollUp.h"

#include <QByteArray>

#include <cstring>
#include <memory>

// Builds trees by hand, the way the scanner does: children of one folder together.
// An entry of unknown kind is one that could not be examined: no size, no details.
class TreeBuilder
{
public:
    explicit TreeBuilder(const QByteArray &top) { tree->addTop(top); }

    NodeIndex add(
        NodeIndex parent, const char *name, NodeKind kind, std::uint64_t size = 0, std::uint64_t diskSize = 0)
    {
        const NodeIndex n = tree->appendChild(parent, name, std::strlen(name));
        CatalogNodeData &d = tree->node(n);
        d.setKind(kind);
        d.size = size;
        d.diskSize = diskSize; // a folder's own blocks
        if (kind != NodeKind::Unknown) {
            d.set(CatalogNodeData::HasSize);
            d.set(CatalogNodeData::HasDetails);
        }
        return n;
    }

    // Rolls the sizes up and fills percentages and counts, as a finished scan has them.
    std::shared_ptr<CatalogTree> finish()
    {
        FinishTree(*tree);
        return tree;
    }

    QString text(NodeIndex n, int field) const { return tree->fieldText(n, field); }

    std::shared_ptr<CatalogTree> tree = std::make_shared<CatalogTree>();
};
