#include "ZipReader.h"

#include <zlib.h>

#include <cstdint>

namespace {

std::uint32_t le(const QByteArray &bytes, qsizetype at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

bool inflateRaw(const QByteArray &in, QByteArray &out, qsizetype expected)
{
    out.resize(expected);
    z_stream z {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int status = inflate(&z, Z_FINISH);
    const bool complete = status == Z_STREAM_END && z.avail_out == 0 && z.avail_in == 0;
    inflateEnd(&z);
    return complete;
}

} // namespace

ZipReading ReadZip(const QByteArray &bytes)
{
    ZipReading zip;
    // libxlsxwriter writes no archive comment: the record is the last 22 bytes.
    constexpr qsizetype EndSize = 22;
    const qsizetype end = bytes.size() - EndSize;
    if (end < 0 || le(bytes, end, 4) != 0x06054b50) {
        zip.error = "no end of central directory record at the end of the file";
        return zip;
    }
    const std::uint32_t count = le(bytes, end + 10, 2);
    const std::uint32_t directorySize = le(bytes, end + 12, 4);
    const std::uint32_t directoryAt = le(bytes, end + 16, 4);
    if (qsizetype(directoryAt) + qsizetype(directorySize) != end) {
        zip.error = "the central directory does not end where its end record begins";
        return zip;
    }
    qsizetype at = directoryAt;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 46 > end || le(bytes, at, 4) != 0x02014b50) {
            zip.error = "central directory entry " + std::to_string(i) + " missing";
            return zip;
        }
        const std::uint32_t method = le(bytes, at + 10, 2);
        const std::uint32_t crc = le(bytes, at + 16, 4);
        const std::uint32_t packed = le(bytes, at + 20, 4);
        const std::uint32_t size = le(bytes, at + 24, 4);
        const std::uint32_t nameLength = le(bytes, at + 28, 2);
        const qsizetype entryLength = 46 + nameLength + le(bytes, at + 30, 2) + le(bytes, at + 32, 2);
        const std::uint32_t local = le(bytes, at + 42, 4);
        const std::string name = bytes.mid(at + 46, nameLength).toStdString();
        at += entryLength;

        if (qsizetype(local) + 30 > directoryAt || le(bytes, local, 4) != 0x04034b50
            || le(bytes, local + 26, 2) != nameLength
            || bytes.mid(local + 30, nameLength).toStdString() != name) {
            zip.error = "no local header for " + name;
            return zip;
        }
        const qsizetype dataAt = local + 30 + le(bytes, local + 26, 2) + le(bytes, local + 28, 2);
        if (dataAt + qsizetype(packed) > directoryAt) {
            zip.error = "the data of " + name + " runs into the directory";
            return zip;
        }
        const QByteArray packedData = bytes.mid(dataAt, packed);
        QByteArray data;
        if (method == 0) {
            data = packedData;
        } else if (method != 8 || !inflateRaw(packedData, data, qsizetype(size))) {
            zip.error = "the data of " + name + " does not inflate to its size";
            return zip;
        }
        if (std::uint32_t(data.size()) != size
            || crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())) != crc) {
            zip.error = "the data of " + name + " does not have its size and CRC-32";
            return zip;
        }
        zip.entries[name] = data;
    }
    if (at != end)
        zip.error = "the central directory holds more than its entries";
    return zip;
}
