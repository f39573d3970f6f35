#include "TXMLNodeType.h"

#include "ConfigAccess.h"

QString TXMLNodeType::name() const
{
    return ConfigAccess::text(m_node, "Name");
}

void TXMLNodeType::setName(const QString &value)
{
    ConfigAccess::setText(m_node, "Name", value);
}

bool TXMLNodeType::visible() const
{
    return ConfigAccess::boolean(m_node, "Visible");
}

void TXMLNodeType::setVisible(bool value)
{
    ConfigAccess::setBoolean(m_node, "Visible", value);
}

int TXMLNodeType::index() const
{
    return ConfigAccess::integer(m_node, "Index");
}

void TXMLNodeType::setIndex(int value)
{
    ConfigAccess::setInteger(m_node, "Index", value);
}

bool TXMLNodeType::defaultExport() const
{
    return ConfigAccess::boolean(m_node, "DefaultExport");
}

void TXMLNodeType::setDefaultExport(bool value)
{
    ConfigAccess::setBoolean(m_node, "DefaultExport", value);
}

int TXMLNodeType::width() const
{
    return ConfigAccess::integer(m_node, "Width");
}

void TXMLNodeType::setWidth(int value)
{
    ConfigAccess::setInteger(m_node, "Width", value);
}

bool TXMLNodeType::readOnly() const
{
    return ConfigAccess::boolean(m_node, "ReadOnly");
}

void TXMLNodeType::setReadOnly(bool value)
{
    ConfigAccess::setBoolean(m_node, "ReadOnly", value);
}

QString TXMLNodeType::align() const
{
    return ConfigAccess::text(m_node, "Align");
}

void TXMLNodeType::setAlign(const QString &value)
{
    ConfigAccess::setText(m_node, "Align", value);
}
