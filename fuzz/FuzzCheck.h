#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <concepts>
#include <cstdio>
#include <cstdlib>
#include <string>

// A broken invariant ends the fuzzer's run like a sanitizer report does: libFuzzer
// sees the abort, saves the input that caused it and stops.
[[noreturn]] inline void FuzzFailure(const char *what, const std::string &detail = std::string())
{
    std::fprintf(stderr, "\n==== fuzz check failed: %s\n%s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void FuzzRequire(bool holds, const char *what, const std::string &detail = std::string())
{
    if (!holds)
        FuzzFailure(what, detail);
}

// The same with a report made only when it fails: most checks pass millions of times.
template <typename Detail>
requires std::invocable<Detail>
inline void FuzzRequire(bool holds, const char *what, Detail &&detail)
{
    if (!holds)
        FuzzFailure(what, detail());
}

// Bytes shown in a report with everything outside printable ASCII escaped.
inline std::string Shown(QByteArrayView bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += char(b);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        }
    }
    return out;
}

inline std::string ShownText(const QString &text)
{
    return Shown(QByteArrayView(text.toUtf8()));
}

// The text of UTF-8 bytes with an opening U+FEFF kept as a character, as XML readers
// and spreadsheet programs read it (QString::fromUtf8 takes it for a byte order mark).
inline QString Utf8Text(QByteArrayView bytes)
{
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}
