#include "TXMLPlHintType.h"

#include "ConfigAccess.h"

int TXMLPlHintType::height() const
{
    return ConfigAccess::integer(m_node, "height");
}

void TXMLPlHintType::setHeight(int value)
{
    ConfigAccess::setInteger(m_node, "height", value);
}

int TXMLPlHintType::col1() const
{
    return ConfigAccess::integer(m_node, "col1");
}

void TXMLPlHintType::setCol1(int value)
{
    ConfigAccess::setInteger(m_node, "col1", value);
}

int TXMLPlHintType::col2() const
{
    return ConfigAccess::integer(m_node, "col2");
}

void TXMLPlHintType::setCol2(int value)
{
    ConfigAccess::setInteger(m_node, "col2", value);
}
