#include "TXMLFrameType.h"

#include "ConfigAccess.h"

QString TXMLFrameType::left() const
{
    return ConfigAccess::text(m_node, "left");
}

void TXMLFrameType::setLeft(const QString &value)
{
    ConfigAccess::setText(m_node, "left", value);
}

QString TXMLFrameType::top() const
{
    return ConfigAccess::text(m_node, "top");
}

void TXMLFrameType::setTop(const QString &value)
{
    ConfigAccess::setText(m_node, "top", value);
}

int TXMLFrameType::height() const
{
    return ConfigAccess::integer(m_node, "height");
}

void TXMLFrameType::setHeight(int value)
{
    ConfigAccess::setInteger(m_node, "height", value);
}

int TXMLFrameType::width() const
{
    return ConfigAccess::integer(m_node, "width");
}

void TXMLFrameType::setWidth(int value)
{
    ConfigAccess::setInteger(m_node, "width", value);
}

bool TXMLFrameType::max() const
{
    return ConfigAccess::boolean(m_node, "max");
}

void TXMLFrameType::setMax(bool value)
{
    ConfigAccess::setBoolean(m_node, "max", value);
}

TXMLPlLeftType TXMLFrameType::plLeft() const
{
    return TXMLPlLeftType(ConfigAccess::child(m_node, "plLeft"));
}

TXMLPlHintType TXMLFrameType::plHint() const
{
    return TXMLPlHintType(ConfigAccess::child(m_node, "plHint"));
}
