#include "TXMLPlLeftType.h"

#include "ConfigAccess.h"

int TXMLPlLeftType::width() const
{
    return ConfigAccess::integer(m_node, "width");
}

void TXMLPlLeftType::setWidth(int value)
{
    ConfigAccess::setInteger(m_node, "width", value);
}

int TXMLPlLeftType::col1() const
{
    return ConfigAccess::integer(m_node, "col1");
}

void TXMLPlLeftType::setCol1(int value)
{
    ConfigAccess::setInteger(m_node, "col1", value);
}

int TXMLPlLeftType::col2() const
{
    return ConfigAccess::integer(m_node, "col2");
}

void TXMLPlLeftType::setCol2(int value)
{
    ConfigAccess::setInteger(m_node, "col2", value);
}

int TXMLPlLeftType::col3() const
{
    return ConfigAccess::integer(m_node, "col3");
}

void TXMLPlLeftType::setCol3(int value)
{
    ConfigAccess::setInteger(m_node, "col3", value);
}
