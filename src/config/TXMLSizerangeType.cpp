#include "TXMLSizerangeType.h"

#include "ConfigAccess.h"

int TXMLSizerangeType::count() const
{
    return ConfigAccess::count(m_node, "item");
}

TXMLItemType TXMLSizerangeType::item(int index) const
{
    return TXMLItemType(ConfigAccess::at(m_node, "item", index));
}

QList<int> TXMLSizerangeType::values() const
{
    QList<int> result;
    for (pugi::xml_node n = m_node.child("item"); n; n = n.next_sibling("item"))
        result.append(TXMLItemType(n).value());
    return result;
}

QStringList TXMLSizerangeType::labels() const
{
    QStringList result;
    for (pugi::xml_node n = m_node.child("item"); n; n = n.next_sibling("item"))
        result.append(TXMLItemType(n).label());
    return result;
}
