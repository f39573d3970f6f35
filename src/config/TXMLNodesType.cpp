#include "TXMLNodesType.h"

#include "ConfigAccess.h"

int TXMLNodesType::count() const
{
    return ConfigAccess::count(m_node, "node");
}

TXMLNodeType TXMLNodesType::node(int index) const
{
    return TXMLNodeType(ConfigAccess::at(m_node, "node", index));
}

QStringList TXMLNodesType::names() const
{
    QStringList result;
    for (pugi::xml_node n = m_node.child("node"); n; n = n.next_sibling("node"))
        result.append(TXMLNodeType(n).name());
    return result;
}
