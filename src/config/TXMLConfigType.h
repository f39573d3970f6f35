#pragma once

#include "IXMLConfigType.h"

#include <pugixml.hpp>

// The `config` element. Binding checks the root's name, so a document with another
// root is refused before anything reads from it.
class TXMLConfigType : public IXMLConfigType
{
public:
    TXMLConfigType() = default;
    // Throws ConfigError (Root) unless the document element is called `config`.
    explicit TXMLConfigType(const pugi::xml_document &document);

    int versionNo() const override;
    void setVersionNo(int value) override;

    TXMLFrameType frame() const override;
    TXMLNodesType nodes() const override;
    TXMLAgerangeType agerange() const override;
    TXMLSizerangeType sizerange() const override;
    bool sizeBars() const override;
    void setSizeBars(bool value) override;

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
