#pragma once

#include "TXMLItemType.h"

#include <QList>
#include <QStringList>

#include <pugixml.hpp>

// A list of range items: the `item` children of a range element in document order.
// N items make N + 1 buckets; the breakdowns rely on ascending values and nothing
// sorts or checks them.
class TXMLItemListType
{
public:
    explicit TXMLItemListType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    int count() const;
    // Throws ConfigError (Index) outside 0 .. count() - 1.
    TXMLItemType item(int index) const;

    // Upper bounds in document order; throws ConfigError on the first bad value.
    QList<int> values() const;
    QStringList labels() const;

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
