#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Helpers for configuration tests: whole-file reads and writes, and a way to meet
// file permissions while the tests run as root.
namespace ConfigFixture {

QByteArray readBytes(const QString &fileName);
void writeBytes(const QString &fileName, const QByteArray &bytes);

// Runs `body` in a child process that has dropped root to the user "nobody" and
// returns its exit status, or -1 when privileges cannot be dropped here. An ordinary
// user runs `body` in place: permissions already apply.
int runAsNobody(const std::function<int()> &body);

// Exit status a body returns when "nobody" cannot even reach the fixture.
inline constexpr int Unreachable = 77;

} // namespace ConfigFixture
