#pragma once

#include <QByteArray>

#include <string>
#include <string_view>
#include <vector>

// A strict reader of delimited files as RFC 4180 writes them, with any separator:
// every record ends with CR LF (the last one too); a field in double quotes holds
// anything, its quotes doubled, and is followed by the separator or the record's
// end; a field not in quotes holds no quote, CR or LF and ends at the first
// separator. An empty line is a record of one empty field.
struct DelimitedReading
{
    std::string error; // empty: read to the end
    std::vector<std::vector<std::string>> records;
};
DelimitedReading ReadDelimited(const QByteArray &bytes, std::string_view separator);
