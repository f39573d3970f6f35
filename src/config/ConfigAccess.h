#pragma once

#include <QString>

#include <pugixml.hpp>

// Typed reads and writes of the configuration's elements and attributes, shared by
// the wrapper classes. Reads add what is missing (an empty child element, or an
// attribute with an empty value) so that the next save writes the complete shape;
// conversion failures throw ConfigError naming the element, attribute and text.
namespace ConfigAccess {

// The first child element called `name`, appended empty as the last child if there is none.
pugi::xml_node child(pugi::xml_node parent, const char *name);

QString text(pugi::xml_node element, const char *attribute);
void setText(pugi::xml_node element, const char *attribute, const QString &value);

// A decimal number with an optional fraction, rounded to the nearest integer
// (halves away from zero); it must fit a 32-bit signed integer.
int integer(pugi::xml_node element, const char *attribute);
void setInteger(pugi::xml_node element, const char *attribute, int value);

// "True" or "False" in any letter case, or a number: zero is false, any other true.
bool boolean(pugi::xml_node element, const char *attribute);
void setBoolean(pugi::xml_node element, const char *attribute, bool value);

// Children called `itemTag`, counted and addressed in document order; other children
// of the list element are not part of the list.
int count(pugi::xml_node list, const char *itemTag);
pugi::xml_node at(pugi::xml_node list, const char *itemTag, int index);

// Where an element stands, as /config/nodes/node[3] (1-based among same-named siblings).
QString elementPath(pugi::xml_node element);

} // namespace ConfigAccess
