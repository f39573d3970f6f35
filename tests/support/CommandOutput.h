#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// Runs `argv` (looked up in PATH) and returns its standard output, or nothing when
// it could not start or did not exit with status 0. Started by fork and exec, which
// ThreadSanitizer follows; QProcess starts children in a way it does not, and a scan
// with several threads after one reported races that are not there.
std::optional<QByteArray> commandOutput(const std::vector<QByteArray> &argv);
