#pragma once

#include "IXMLConfigType.h"

#include <string>

// Every typed read of a configuration document through its wrappers (TXMLConfigType
// and the TXML*Type views below it), each checked against a plain reading of the
// attribute's text, and written to one log line a read: what was read, or the kind
// of ConfigError that refused it. Two documents that hold the same configuration
// give the same log. Reads add what is missing, as they do in the program.
std::string ReadEveryValue(IXMLConfigType &document);
