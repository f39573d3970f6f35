#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A fault in a scan file: what was expected and what stood there instead, at
// `offset` bytes from the start of the (decompressed) text.
class ScanSyntaxError : public std::runtime_error
{
public:
    ScanSyntaxError(std::uint64_t offset, const std::string &what) : std::runtime_error(what), offset(offset)
    { }
    std::uint64_t offset;
};

// The tokens of JSON text read from a ByteSource in pieces, one at a time: nothing is
// kept but the token at hand. Strings are decoded to bytes (escapes resolved, \u
// escapes to UTF-8, other bytes as they are: names need not be UTF-8); numbers are
// kept as their text until asked for as a whole number.
class JsonTokenizer
{
public:
    enum class Token : std::uint8_t {
        ArrayStart,
        ArrayEnd,
        ObjectStart,
        ObjectEnd,
        Comma,
        Colon,
        String,
        Number,
        True,
        False,
        Null,
        End, // the end of the text
    };

    // A string or number longer than this is a fault: no field of a scan file needs
    // more, and a hostile file cannot make a token take memory.
    static constexpr std::size_t MaxTokenBytes = 65536;
    // More blanks than this in a row are a fault: no writer puts them there, and a
    // file of nothing else ends at once instead of after gigabytes.
    static constexpr std::size_t MaxBlankRun = std::size_t(1) << 20;

    explicit JsonTokenizer(ByteSource &source);

    // The next token; its text is text() for a string or number.
    Token next();
    // Where the last token began.
    std::uint64_t offset() const { return m_tokenAt; }
    const std::string &text() const { return m_text; }

    // The last token (a Number) as a whole number within [min, max]; throws a
    // ScanSyntaxError naming `what` otherwise.
    std::int64_t integer(const char *what, std::int64_t min, std::int64_t max) const;
    std::uint64_t unsignedInteger(const char *what, std::uint64_t max) const;

    // Throws a ScanSyntaxError at the last token: "expected <expected>, found <that token>".
    [[noreturn]] void expected(const std::string &expected) const;
    [[noreturn]] void fail(const std::string &what) const;

    // A short description of a token ("a string", "']'", "the end of the file").
    static std::string describe(Token token);

private:
    bool refill();
    int peekByte();
    int takeByte();
    void readString();
    void readNumber(char first);
    void readWord(const char *word);
    std::uint32_t readHex4();
    void appendUtf8(std::uint32_t code);

    ByteSource &m_source;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_end = 0;
    std::uint64_t m_consumed = 0; // bytes before m_buffer[0]
    std::uint64_t m_tokenAt = 0;
    Token m_token = Token::End;
    std::string m_text;
};
