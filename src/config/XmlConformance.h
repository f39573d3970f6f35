#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// pugixml reads far more than well-formed XML: bytes that are not UTF-8, control
// characters, "<" in attribute values, unknown entities, a malformed declaration, an
// encoding it does not know and more, all read as something else than the file says. A configuration is therefore
// also read by a conforming reader (QXmlStreamReader) before it is used; this is its
// first complaint, or nullopt for a well-formed document.
struct XmlConformanceFault
{
    QString reason;
    qint64 line = 0;
};
std::optional<XmlConformanceFault> XmlConformanceFaultOf(QByteArrayView bytes);
