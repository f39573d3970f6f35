#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/resource.h>

// Helpers for configuration tests: whole-file reads and writes.
namespace ConfigFixture {

QByteArray readBytes(const QString &fileName);
void writeBytes(const QString &fileName, const QByteArray &bytes);

// Runs `body` in a child process and returns its exit status, or -1 when the child
// died of a signal: a body that hangs is ended after `seconds`. With a file size limit,
// writing past it fails with EFBIG ("File too large"), as on a full file system.
int runInChild(const std::function<int()> &body, unsigned seconds = 30, rlim_t fileSizeLimit = RLIM_INFINITY);

// The names in a folder, hidden ones too (a temporary file left behind shows).
QStringList entries(const QString &folder);

// Exit status a body returns when "nobody" cannot even reach the fixture.
inline constexpr int Unreachable = 77;

} // namespace ConfigFixture
