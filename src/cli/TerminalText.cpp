#include "TerminalText.h"

namespace {

void appendHex(QByteArray &out, unsigned char byte)
{
    static constexpr char Digits[] = "0123456789abcdef";
    out += "\\x";
    out += Digits[byte >> 4];
    out += Digits[byte & 0x0f];
}

// Length of the well-formed UTF-8 sequence at `s` (at most `n` bytes), 0 if none.
int utf8Length(const unsigned char *s, qsizetype n)
{
    const unsigned char b = s[0];
    int length = 0;
    char32_t min = 0;
    char32_t c = 0;
    if (b >= 0xc2 && b <= 0xdf) {
        length = 2;
        min = 0x80;
        c = b & 0x1f;
    } else if (b >= 0xe0 && b <= 0xef) {
        length = 3;
        min = 0x800;
        c = b & 0x0f;
    } else if (b >= 0xf0 && b <= 0xf4) {
        length = 4;
        min = 0x10000;
        c = b & 0x07;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xc0) != 0x80)
            return 0;
        c = (c << 6) | (s[i] & 0x3f);
    }
    if (c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return 0;
    return length;
}

} // namespace

QByteArray TerminalText(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            switch (b) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7f)
                    appendHex(out, b);
                else
                    out += char(b);
            }
            ++i;
            continue;
        }
        const int length = utf8Length(s + i, n - i);
        if (length == 0) {
            appendHex(out, b);
            ++i;
        } else if (length == 2 && b == 0xc2 && s[i + 1] < 0xa0) {
            // U+0080..U+009F: C1 controls, which terminals obey (CSI is U+009B).
            appendHex(out, b);
            appendHex(out, s[i + 1]);
            i += 2;
        } else {
            out.append(reinterpret_cast<const char *>(s + i), length);
            i += length;
        }
    }
    return out;
}

QByteArray TerminalText(const QString &text)
{
    return TerminalText(QByteArrayView(text.toUtf8()));
}
