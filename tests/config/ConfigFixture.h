#pragma once

#include <QByteArray>
#include <QString>

// Helpers for configuration tests: whole-file reads and writes.
namespace ConfigFixture {

QByteArray readBytes(const QString &fileName);
void writeBytes(const QString &fileName, const QByteArray &bytes);

// Exit status a body returns when "nobody" cannot even reach the fixture.
inline constexpr int Unreachable = 77;

} // namespace ConfigFixture
