#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Text for a person's terminal: names may hold any bytes, and an escape sequence
// in a file name must not reach the terminal as one. Control characters (C0, DEL
// and the C1 range), bytes that are not UTF-8 and the backslash itself are written
// as C-style escapes (\n, \t, \x1b, \\); everything else passes as it is.
QByteArray TerminalText(QByteArrayView bytes);
QByteArray TerminalText(const QString &text);
inline QByteArray TerminalText(const QByteArray &bytes)
{
    return TerminalText(QByteArrayView(bytes));
}
inline QByteArray TerminalText(const char *text)
{
    return TerminalText(QByteArrayView(text));
}
