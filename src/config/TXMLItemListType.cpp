#include "TXMLItemListType.h"

#include "ConfigAccess.h"

int TXMLItemListType::count() const
{
    return ConfigAccess::count(m_node, "item");
}

TXMLItemType TXMLItemListType::item(int index) const
{
    return TXMLItemType(ConfigAccess::at(m_node, "item", index));
}

QList<int> TXMLItemListType::values() const
{
    QList<int> result;
    for (pugi::xml_node n = m_node.child("item"); n; n = n.next_sibling("item"))
        result.append(TXMLItemType(n).value());
    return result;
}

QStringList TXMLItemListType::labels() const
{
    QStringList result;
    for (pugi::xml_node n = m_node.child("item"); n; n = n.next_sibling("item"))
        result.append(TXMLItemType(n).label());
    return result;
}
