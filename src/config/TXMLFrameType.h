#pragma once

#include "TXMLPlHintType.h"
#include "TXMLPlLeftType.h"

#include <QString>

#include <pugixml.hpp>

// The window frame block; part of the format, kept and written back, never used.
// A view over the `frame` element: copies share the element, reads add what is missing.
class TXMLFrameType
{
public:
    explicit TXMLFrameType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    QString left() const;
    void setLeft(const QString &value);
    QString top() const;
    void setTop(const QString &value);
    int height() const;
    void setHeight(int value);
    int width() const;
    void setWidth(int value);
    bool max() const;
    void setMax(bool value);

    TXMLPlLeftType plLeft() const;
    TXMLPlHintType plHint() const;

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
