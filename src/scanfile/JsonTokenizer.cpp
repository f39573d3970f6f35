#include "JsonTokenizer.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr std::size_t BufferSize = std::size_t(1) << 18;

bool isBlank(int c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

std::string byteText(int c)
{
    char text[16];
    if (c >= 0x21 && c < 0x7f)
        std::snprintf(text, sizeof text, "'%c'", char(c));
    else
        std::snprintf(text, sizeof text, "byte 0x%02x", c);
    return text;
}

} // namespace

JsonTokenizer::JsonTokenizer(ByteSource &source)
    : m_source(source), m_buffer(std::make_unique_for_overwrite<char[]>(BufferSize))
{ }

bool JsonTokenizer::refill()
{
    m_consumed += m_end;
    m_at = 0;
    m_end = 0;
    try {
        m_end = m_source.read(m_buffer.get(), BufferSize);
    } catch (const ScanDataError &e) {
        throw ScanSyntaxError(e.offset, e.what());
    }
    return m_end > 0;
}

int JsonTokenizer::peekByte()
{
    if (m_at == m_end && !refill())
        return -1;
    return static_cast<unsigned char>(m_buffer[m_at]);
}

int JsonTokenizer::takeByte()
{
    const int c = peekByte();
    if (c >= 0)
        ++m_at;
    return c;
}

std::string JsonTokenizer::describe(Token token)
{
    switch (token) {
    case Token::ArrayStart:
        return "'['";
    case Token::ArrayEnd:
        return "']'";
    case Token::ObjectStart:
        return "'{'";
    case Token::ObjectEnd:
        return "'}'";
    case Token::Comma:
        return "','";
    case Token::Colon:
        return "':'";
    case Token::String:
        return "a string";
    case Token::Number:
        return "a number";
    case Token::True:
        return "true";
    case Token::False:
        return "false";
    case Token::Null:
        return "null";
    case Token::End:
        break;
    }
    return "the end of the file (it is cut short)";
}

void JsonTokenizer::expected(const std::string &expected) const
{
    throw ScanSyntaxError(m_tokenAt, "expected " + expected + ", found " + describe(m_token));
}

void JsonTokenizer::fail(const std::string &what) const
{
    throw ScanSyntaxError(m_tokenAt, what);
}

JsonTokenizer::Token JsonTokenizer::next()
{
    std::size_t blanks = 0;
    int c = peekByte();
    while (isBlank(c)) {
        // Runs of blanks are skipped a buffer at a time.
        while (m_at < m_end && isBlank(static_cast<unsigned char>(m_buffer[m_at]))) {
            ++m_at;
            ++blanks;
        }
        if (blanks > MaxBlankRun)
            throw ScanSyntaxError(m_consumed + m_at,
                "expected a value, found more than " + std::to_string(MaxBlankRun) + " blanks in a row");
        c = peekByte();
    }
    m_tokenAt = m_consumed + m_at;
    m_text.clear();
    if (c < 0)
        return m_token = Token::End;
    ++m_at;
    switch (c) {
    case '[':
        return m_token = Token::ArrayStart;
    case ']':
        return m_token = Token::ArrayEnd;
    case '{':
        return m_token = Token::ObjectStart;
    case '}':
        return m_token = Token::ObjectEnd;
    case ',':
        return m_token = Token::Comma;
    case ':':
        return m_token = Token::Colon;
    case '"':
        readString();
        return m_token = Token::String;
    case 't':
        readWord("rue");
        return m_token = Token::True;
    case 'f':
        readWord("alse");
        return m_token = Token::False;
    case 'n':
        readWord("ull");
        return m_token = Token::Null;
    default:
        break;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
        readNumber(char(c));
        return m_token = Token::Number;
    }
    throw ScanSyntaxError(m_tokenAt, "expected a JSON value, found " + byteText(c));
}

void JsonTokenizer::readWord(const char *word)
{
    for (const char *w = word; *w; ++w) {
        if (takeByte() != *w)
            throw ScanSyntaxError(m_tokenAt, "expected true, false or null, found another word");
    }
}

void JsonTokenizer::readNumber(char first)
{
    m_text.push_back(first);
    for (int c = peekByte();
         (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'; c = peekByte()) {
        if (m_text.size() >= 64)
            throw ScanSyntaxError(m_tokenAt, "expected a number, found one longer than 64 characters");
        m_text.push_back(char(c));
        ++m_at;
    }
}

std::uint32_t JsonTokenizer::readHex4()
{
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) {
        const int c = takeByte();
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            throw ScanSyntaxError(m_consumed + m_at, "expected four hexadecimal digits after \\u");
        value = value << 4 | std::uint32_t(digit);
    }
    return value;
}

void JsonTokenizer::appendUtf8(std::uint32_t code)
{
    if (code < 0x80) {
        m_text.push_back(char(code));
    } else if (code < 0x800) {
        m_text.push_back(char(0xC0 | code >> 6));
        m_text.push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        m_text.push_back(char(0xE0 | code >> 12));
        m_text.push_back(char(0x80 | (code >> 6 & 0x3F)));
        m_text.push_back(char(0x80 | (code & 0x3F)));
    } else {
        m_text.push_back(char(0xF0 | code >> 18));
        m_text.push_back(char(0x80 | (code >> 12 & 0x3F)));
        m_text.push_back(char(0x80 | (code >> 6 & 0x3F)));
        m_text.push_back(char(0x80 | (code & 0x3F)));
    }
}

void JsonTokenizer::readString()
{
    for (;;) {
        // Plain bytes are copied a run at a time.
        std::size_t run = m_at;
        while (run < m_end) {
            const auto u = static_cast<unsigned char>(m_buffer[run]);
            if (u == '"' || u == '\\' || u < 0x20)
                break;
            ++run;
        }
        m_text.append(m_buffer.get() + m_at, run - m_at);
        m_at = run;
        if (m_text.size() > MaxTokenBytes)
            throw ScanSyntaxError(m_tokenAt,
                "expected a string of at most " + std::to_string(MaxTokenBytes)
                    + " bytes, found a longer one");
        const int c = takeByte();
        if (c < 0)
            throw ScanSyntaxError(
                m_consumed + m_at, "expected the end of a string, found the end of the file");
        if (c == '"')
            return;
        if (c < 0x20)
            throw ScanSyntaxError(m_consumed + m_at - 1,
                "expected a character of a string, found a control character (" + byteText(c)
                    + ") not escaped");
        if (c != '\\') {
            m_text.push_back(char(c)); // the run stopped at the end of the buffer
            continue;
        }
        const std::uint64_t escapeAt = m_consumed + m_at - 1;
        switch (const int e = takeByte()) {
        case '"':
        case '\\':
        case '/':
            m_text.push_back(char(e));
            break;
        case 'b':
            m_text.push_back('\b');
            break;
        case 'f':
            m_text.push_back('\f');
            break;
        case 'n':
            m_text.push_back('\n');
            break;
        case 'r':
            m_text.push_back('\r');
            break;
        case 't':
            m_text.push_back('\t');
            break;
        case 'u': {
            std::uint32_t code = readHex4();
            if (code >= 0xD800 && code < 0xDC00) {
                // A high surrogate takes the low one after it; alone, it stands for
                // no character and becomes U+FFFD.
                if (peekByte() == '\\') {
                    ++m_at;
                    if (takeByte() != 'u')
                        throw ScanSyntaxError(
                            escapeAt, "expected a low surrogate \\u escape after a high one");
                    const std::uint32_t low = readHex4();
                    code = low >= 0xDC00 && low < 0xE000 ? 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00)
                                                         : 0xFFFD;
                } else {
                    code = 0xFFFD;
                }
            } else if (code >= 0xDC00 && code < 0xE000) {
                code = 0xFFFD;
            }
            appendUtf8(code);
            break;
        }
        default:
            throw ScanSyntaxError(escapeAt,
                "expected an escape (\\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u), found "
                    + (e < 0 ? std::string("the end of the file") : byteText(e)));
        }
    }
}

std::int64_t JsonTokenizer::integer(const char *what, std::int64_t min, std::int64_t max) const
{
    std::int64_t value = 0;
    const char *begin = m_text.data(), *end = begin + m_text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (m_token != Token::Number)
        expected(std::string("a whole number for ") + what);
    if (ec == std::errc::result_out_of_range
        || (ec == std::errc() && ptr == end && (value < min || value > max)))
        fail(std::string("expected ") + what + " from " + std::to_string(min) + " to " + std::to_string(max)
            + ", found " + m_text);
    if (ec != std::errc() || ptr != end || (m_text.size() > 1 && m_text[m_text[0] == '-'] == '0'))
        fail(std::string("expected a whole number for ") + what + ", found " + m_text);
    return value;
}

std::uint64_t JsonTokenizer::unsignedInteger(const char *what, std::uint64_t max) const
{
    if (m_token != Token::Number)
        expected(std::string("a whole number for ") + what);
    if (!m_text.empty() && m_text[0] == '-')
        fail(std::string("expected ") + what + " from 0 to " + std::to_string(max) + ", found " + m_text);
    std::uint64_t value = 0;
    const char *begin = m_text.data(), *end = begin + m_text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range || (ec == std::errc() && ptr == end && value > max))
        fail(std::string("expected ") + what + " from 0 to " + std::to_string(max) + ", found " + m_text);
    if (ec != std::errc() || ptr != end || (m_text.size() > 1 && m_text[0] == '0'))
        fail(std::string("expected a whole number for ") + what + ", found " + m_text);
    return value;
}
