#pragma once

#include <QString>

#include <pugixml.hpp>

// One entry of the column catalogue; its position in `nodes` is the column number
// of every list view.
// A view over the `node` element: copies share the element, reads add what is missing.
class TXMLNodeType
{
public:
    explicit TXMLNodeType(pugi::xml_node node = pugi::xml_node()) : m_node(node) { }

    QString name() const;
    void setName(const QString &value);
    bool visible() const;
    void setVisible(bool value);
    int index() const;
    void setIndex(int value);
    bool defaultExport() const;
    void setDefaultExport(bool value);
    int width() const;
    void setWidth(int value);
    bool readOnly() const;
    void setReadOnly(bool value);
    QString align() const;
    void setAlign(const QString &value);

    pugi::xml_node element() const { return m_node; }

private:
    pugi::xml_node m_node;
};
