#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// Runs `argv` (looked up in PATH) and returns its standard output, or nothing when
// it could not start or did not exit with status 0. Started by posix_spawn, not by
// fork (as QProcess does): after a fork in a test program, ThreadSanitizer lost the
// order that a scan's lock gives its threads and reported races that are not there.
std::optional<QByteArray> commandOutput(const std::vector<QByteArray> &argv);
