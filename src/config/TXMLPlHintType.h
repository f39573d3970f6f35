#pragma once

#include <pugixml.hpp>

// The hint panel block of the window frame; kept and written back, never used.
// A view over the `plHint` element: copies share the element, reads add what is missing.
class TXMLPlHintType
{
public:
    explicit TXMLPlHintType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    int height() const;
    void setHeight(int value);
    int col1() const;
    void setCol1(int value);
    int col2() const;
    void setCol2(int value);

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
