#pragma once

#include "TXMLNodeType.h"

#include <QStringList>

#include <pugixml.hpp>

// The column catalogue: the `node` children of `nodes` in document order. The program
// never adds, removes or reorders entries; the file decides how many columns there are.
class TXMLNodesType
{
public:
    explicit TXMLNodesType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    int count() const;
    // Throws ConfigError (Index) outside 0 .. count() - 1.
    TXMLNodeType node(int index) const;

    // Column names in catalogue order, for callers that only need the keys.
    QStringList names() const;

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
