#include "TreeCopy.h"

NodeIndex CopyEntry(
    CatalogTree &to, NodeIndex parent, const CatalogTree &from, NodeIndex node, QByteArrayView name)
{
    const QByteArrayView own = name.isNull() ? from.nameBytes(node) : name;
    const NodeIndex copy = to.appendChild(parent, own.data(), std::size_t(own.size()));
    CatalogNodeData &d = to.node(copy);
    const CatalogNodeData &s = from.node(node);
    const std::uint64_t nameOffset = d.nameOffset();
    const std::uint16_t nameLength = d.nameLength;
    d = s;
    d.parent = parent;
    d.firstChild = NoNode;
    d.childCount = 0;
    d.subtreeCount = 1;
    d.setNameOffset(nameOffset);
    d.nameLength = nameLength;
    if (const int error = from.unreadableError(node))
        to.markUnreadable(copy, error);
    return copy;
}
