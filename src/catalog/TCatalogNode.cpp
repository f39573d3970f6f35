#include "TCatalogNode.h"

#include "CatalogFields.h"

#include <utility>

TCatalogNode::TCatalogNode(std::shared_ptr<const CatalogTree> tree, NodeIndex index)
    : m_tree(std::move(tree)), m_index(index)
{ }

QString TCatalogNode::text(int field) const
{
    if (!m_tree || field < 0 || field >= CatalogFieldCount)
        return QString();
    return m_tree->fieldText(m_index, field, listTotal());
}

void CopyNodeRecord(const TCatalogNode &source, TCatalogNode &target)
{
    target = source;
}
