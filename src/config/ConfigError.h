#pragma once

#include <QString>

#include <stdexcept>

// Every failure of the configuration document: the message is written for a person
// (it names the file, or the element, attribute and text at fault), the kind lets a
// caller tell them apart without parsing the message.
class ConfigError : public std::runtime_error
{
public:
    enum Kind {
        Io, // the file could not be read or written
        Parse, // the file is not well-formed XML
        Root, // the root element is not `config`
        Conversion, // an attribute's text is not of its type
        Overflow, // a number does not fit a 32-bit signed integer
        Index, // a list position outside 0 .. count - 1
    };

    ConfigError(Kind kind, const QString &message);

    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    Kind m_kind;
};
