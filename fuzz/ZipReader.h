#pragma once

#include <QByteArray>

#include <map>
#include <string>

// A zip package read back without a zip library: the end of central directory record
// closes the file, the central directory fills the space up to it, every entry has
// its local header where the directory says, and every entry's data inflates (or is
// stored) to its recorded size with its recorded CRC-32. Enough to say that a program
// opening the workbook finds every part complete.
struct ZipReading
{
    std::string error; // empty: every entry read and checked
    std::map<std::string, QByteArray> entries; // name: content
};
ZipReading ReadZip(const QByteArray &bytes);
