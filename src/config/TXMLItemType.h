#pragma once

#include <QString>

#include <pugixml.hpp>

// One range of the age or size breakdown: its label and its upper bound (days or bytes).
// A view over the `item` element: copies share the element, reads add what is missing.
class TXMLItemType
{
public:
    explicit TXMLItemType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    QString label() const;
    void setLabel(const QString &value);
    int value() const;
    void setValue(int value);

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
