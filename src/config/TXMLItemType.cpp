#include "TXMLItemType.h"

#include "ConfigAccess.h"

QString TXMLItemType::label() const
{
    return ConfigAccess::text(m_node, "label");
}

void TXMLItemType::setLabel(const QString &value)
{
    ConfigAccess::setText(m_node, "label", value);
}

int TXMLItemType::value() const
{
    return ConfigAccess::integer(m_node, "value");
}

void TXMLItemType::setValue(int value)
{
    ConfigAccess::setInteger(m_node, "value", value);
}
