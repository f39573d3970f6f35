#include "XmlCheck.h"

#include "XmlConformance.h"

#include <QXmlStreamReader>

XmlReading ReadXml(const QByteArray &bytes)
{
    XmlReading reading;
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        switch (token) {
        case QXmlStreamReader::StartElement: {
            XmlElement element;
            element.depth = depth++;
            element.name = reader.qualifiedName().toString();
            for (const QXmlStreamAttribute &a : reader.attributes()) {
                if (!a.isDefault())
                    element.attributes.emplace_back(a.qualifiedName().toString(), a.value().toString());
            }
            reading.elements.push_back(std::move(element));
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    // The verdict is the loader's own: QXmlStreamReader with the checks it lacks.
    if (const std::optional<XmlConformanceFault> fault = XmlConformanceFaultOf(bytes)) {
        reading.error = fault->reason;
        reading.line = fault->line;
    }
    return reading;
}

std::string Described(const std::vector<XmlElement> &elements)
{
    QString text;
    for (const XmlElement &e : elements) {
        text += QString(e.depth * 2, u' ') + u'<' + e.name;
        for (const auto &[name, value] : e.attributes)
            text += u' ' + name + QStringLiteral("=\"") + value + u'"';
        text += QStringLiteral(">\n");
    }
    return text.toStdString();
}
