#include "TXMLConfigType.h"

#include "ConfigAccess.h"
#include "ConfigError.h"

#include <cstring>

TXMLConfigType::TXMLConfigType(const pugi::xml_document &document) : m_node(document.document_element())
{
    if (std::strcmp(m_node.name(), "config") != 0) {
        throw ConfigError(ConfigError::Root,
            m_node ? QStringLiteral("the root element is <%1>, not <config>")
                         .arg(QString::fromUtf8(m_node.name()))
                   : QStringLiteral("the document has no root element"));
    }
}

int TXMLConfigType::versionNo() const
{
    return ConfigAccess::integer(m_node, "versionNo");
}

void TXMLConfigType::setVersionNo(int value)
{
    ConfigAccess::setInteger(m_node, "versionNo", value);
}

TXMLFrameType TXMLConfigType::frame() const
{
    return TXMLFrameType(ConfigAccess::child(m_node, "frame"));
}

TXMLNodesType TXMLConfigType::nodes() const
{
    return TXMLNodesType(ConfigAccess::child(m_node, "nodes"));
}

TXMLAgerangeType TXMLConfigType::agerange() const
{
    return TXMLAgerangeType(ConfigAccess::child(m_node, "agerange"));
}

TXMLSizerangeType TXMLConfigType::sizerange() const
{
    return TXMLSizerangeType(ConfigAccess::child(m_node, "sizerange"));
}

bool TXMLConfigType::sizeBars() const
{
    if (!m_node.attribute("sizeBars"))
        return true;
    try {
        return ConfigAccess::boolean(m_node, "sizeBars");
    } catch (const ConfigError &) {
        return true;
    }
}

void TXMLConfigType::setSizeBars(bool value)
{
    if (value)
        m_node.remove_attribute("sizeBars");
    else
        ConfigAccess::setBoolean(m_node, "sizeBars", false);
}
