#pragma once

#include <pugixml.hpp>

// The left panel block of the window frame; kept and written back, never used.
// A view over the `plLeft` element: copies share the element, reads add what is missing.
class TXMLPlLeftType
{
public:
    explicit TXMLPlLeftType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    int width() const;
    void setWidth(int value);
    int col1() const;
    void setCol1(int value);
    int col2() const;
    void setCol2(int value);
    int col3() const;
    void setCol3(int value);

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
