// Broken and hostile scan files: each gives one message that names the file, the
// byte where reading stopped and what was expected there, and none takes memory or
// time beyond what it holds.

#include "ScanFileTrees.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

namespace {

const QByteArray Head = "[1,2,{\"progname\":\"t\"},\n";

struct BadFile
{
    const char *what;
    QByteArray text;
    const char *message; // the whole message after "test.json: "
};

QByteArray gzipped(const QByteArray &text)
{
    QByteArray out(text.size() + 64, '\0');
    z_stream z {};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray nested(std::size_t levels)
{
    QByteArray text = Head + "[{\"name\":\"/t\"}";
    for (std::size_t i = 0; i < levels; ++i)
        text += ",[{\"name\":\"d\"}";
    return text;
}

TEST(ScanFileErrors, EachBadFileSaysWhereAndWhatWasExpected)
{
    const QByteArray good = Head + "[{\"name\":\"/t\"},{\"name\":\"a\",\"asize\":1}]]";
    const QByteArray deep = nested(MaxScanFileDepth + 1);
    const BadFile cases[] = {
        {"empty", "",
            "byte 0: expected '[' (the start of a scan file), found the end of the file (it is cut short)"},
        {"not JSON", "hello", "byte 0: expected a JSON value, found 'h'"},
        {"truncated", good.left(good.size() - 3),
            "byte 59: expected ',' or '}' in an entry's object, found the end of the file (it is cut short)"},
        {"wrong major version", "[2,0,{},[{\"name\":\"/t\"}]]", "byte 1: expected major version 1, found 2"},
        {"version out of range", "[1,10001,{},[{\"name\":\"/t\"}]]",
            "byte 3: expected the minor version from 0 to 10000, found 10001"},
        {"metadata not an object", "[1,2,[],[{\"name\":\"/t\"}]]",
            "byte 5: expected the metadata object '{', found '['"},
        {"top is no folder", Head + "{\"name\":\"/t\"}]",
            "byte 23: expected '[' (the top folder), found '{'"},
        {"size as a string", Head + "[{\"name\":\"/t\"},{\"name\":\"a\",\"asize\":\"12\"}]]",
            "byte 58: expected a whole number for a size, found a string"},
        {"name as a number", Head + "[{\"name\":\"/t\"},{\"name\":5}]]",
            "byte 46: expected a string for \"name\", found a number"},
        {"no name", Head + "[{\"name\":\"/t\"},{\"asize\":5}]]",
            "byte 38: expected a \"name\" in an entry's object, found none"},
        {"name with a slash", Head + "[{\"name\":\"/t\"},{\"name\":\"a/b\"}]]",
            "byte 46: expected a name, found one with a '/' (only the top entry holds a path)"},
        {"empty name", Head + "[{\"name\":\"/t\"},{\"name\":\"\"}]]",
            "byte 46: expected a name, found an empty one"},
        {"NUL in a name", Head + "[{\"name\":\"/t\"},{\"name\":\"a\\u0000\"}]]",
            "byte 46: expected a name, found one with a NUL character"},
        {"two entries of one name",
            Head + "[{\"name\":\"/t\"},{\"name\":\"a\"},[{\"name\":\"b\"}],[{\"name\":\"a\"}]]]",
            "byte 66: expected names that differ within a folder, found a second \"a\""},
        {"negative size", Head + "[{\"name\":\"/t\"},{\"name\":\"a\",\"asize\":-1}]]",
            "byte 58: expected a size from 0 to 9223372036854775807, found -1"},
        {"size of 2^63", Head + "[{\"name\":\"/t\"},{\"name\":\"a\",\"asize\":9223372036854775808}]]",
            "byte 58: expected a size from 0 to 9223372036854775807, found 9223372036854775808"},
        {"size beyond 2^64", Head + "[{\"name\":\"/t\"},{\"name\":\"a\",\"asize\":99999999999999999999}]]",
            "byte 58: expected a size from 0 to 9223372036854775807, found 99999999999999999999"},
        {"size with a fraction", Head + "[{\"name\":\"/t\"},{\"name\":\"a\",\"asize\":1.5}]]",
            "byte 58: expected a whole number for a size, found 1.5"},
        {"flag of another type", Head + "[{\"name\":\"/t\",\"read_error\":1}]]",
            "byte 50: expected true or false for \"read_error\", found a number"},
        {"control character in a name", Head + "[{\"name\":\"/t\"},{\"name\":\"a\tb\"}]]",
            "byte 48: expected a character of a string, found a control character (byte 0x09) not escaped"},
        {"unknown escape", Head + "[{\"name\":\"/t\"},{\"name\":\"a\\qb\"}]]",
            "byte 48: expected an escape (\\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u), found 'q'"},
        {"entry of neither kind", Head + "[{\"name\":\"/t\"},5]]",
            "byte 38: expected an entry: '{' for a file or '[' for a folder, found a number"},
        {"folder without its object", Head + "[{\"name\":\"/t\"},[5]]]",
            "byte 39: expected '{' (a folder's object), found a number"},
        {"something after the scan", good + " x", "byte 63: expected a JSON value, found 'x'"},
        {"a second scan after the first", good.left(good.size() - 1) + ",[{\"name\":\"/u\"}]]",
            "byte 61: expected ']' (the end of the scan file), found ','"},
        {"nested deeper than any tree", deep,
            "byte 458790: expected folders nested at most 32768 deep, found a deeper one (no real tree goes "
            "so deep)"},
        {"broken gzip", QByteArray("\x1f\x8b\x08\x00garbage-garbage-garbage", 27),
            "byte 0: the gzip data is broken (invalid code lengths set)"},
        {"gzip cut short", gzipped(good).left(20),
            "byte 9: the gzip data ends before its end: the file is cut short"},
    };
    for (const BadFile &c : cases) {
        const ScanFileResult result = ReadScanText(c.text);
        EXPECT_FALSE(result.tree) << c.what;
        EXPECT_EQ(result.error.toStdString(), std::string("test.json: ") + c.message) << c.what;
    }
    // The good file the truncated one came from reads, also through gzip.
    EXPECT_TRUE(ReadScanText(good).tree);
    EXPECT_TRUE(ReadScanText(gzipped(good)).tree);
}

// Streams that would never end, read through a function that counts what it gave:
// each ends with its error after a few megabytes at most.
TEST(ScanFileErrors, EndlessStreamsStopEarlyWithoutTakingMemory)
{
    struct Endless
    {
        const char *what;
        QByteArray head;
        QByteArray repeated;
        const char *message;
    };
    const Endless cases[] = {
        {"ten gigabytes of blanks", "", " ", "expected a value, found more than 1048576 blanks in a row"},
        {"a string without end", Head + "[{\"name\":\"", "a",
            "expected a string of at most 65536 bytes, found a longer one"},
        {"folders without end", Head + "[{\"name\":\"/t\"}", ",[{\"name\":\"d\"}",
            "expected folders nested at most 32768 deep, found a deeper one (no real tree goes so deep)"},
        {"a value of an unknown key nested without end", Head + "[{\"name\":\"/t\",\"x\":", "[",
            "expected a value nested less deeply"},
    };
    constexpr std::uint64_t TenGigabytes = std::uint64_t(10) << 30;
    for (const Endless &c : cases) {
        std::uint64_t given = 0;
        FunctionSource source([&](char *buffer, std::size_t size) {
            if (given >= TenGigabytes)
                return std::size_t(0);
            for (std::size_t i = 0; i < size; ++i) {
                const std::uint64_t at = given + i;
                buffer[i] = at < std::uint64_t(c.head.size())
                    ? c.head[qsizetype(at)]
                    : c.repeated[qsizetype(
                        (at - std::uint64_t(c.head.size())) % std::uint64_t(c.repeated.size()))];
            }
            given += size;
            return size;
        });
        const ScanFileResult result = ReadScanStream(source, QStringLiteral("endless"), {});
        EXPECT_FALSE(result.tree) << c.what;
        EXPECT_TRUE(result.error.startsWith(QStringLiteral("endless: byte "))) << c.what;
        EXPECT_TRUE(result.error.endsWith(QString::fromUtf8(c.message)))
            << c.what << ": " << result.error.toStdString();
        EXPECT_LT(given, std::uint64_t(8) << 20) << c.what;
    }
}

} // namespace
