#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <utility>
#include <vector>

// What a conforming XML reader makes of a document: the reference the fuzzers hold
// the program's own XML against. The elements are QXmlStreamReader's (namespaces not
// processed); the verdict is XmlConformanceFaultOf, which adds the checks that reader
// lacks and is what the configuration loader asks too.
struct XmlElement
{
    int depth = 0; // 0 for the root
    QString name;
    // In document order; attributes a document type only supplies by default are left
    // out (no reader of the program's files takes them from there).
    std::vector<std::pair<QString, QString>> attributes;

    bool operator==(const XmlElement &) const = default;
};

// The elements as one text, for reports.
std::string Described(const std::vector<XmlElement> &elements);

struct XmlReading
{
    QString error; // empty: the document is well-formed
    qint64 line = 0; // where the error was met
    std::vector<XmlElement> elements; // document order, up to the error
};

XmlReading ReadXml(const QByteArray &bytes);
