#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

// Folder paths as the file system knows them: bytes, which need not be UTF-8. A
// path that went through a QString would lose the bytes that are not.

// Cleaned ("a//b/./c/" -> "a/b/c", "/a/../b" -> "/b"), no trailing separator except
// at the root; empty stays empty.
QByteArray NormaliseFolderBytes(const QByteArray &path);

// `path` made absolute against the working folder, then cleaned.
QByteArray AbsoluteFolderBytes(const QByteArray &path);

// Why `path` cannot be scanned, in the system's words ("No such file or directory",
// "not a folder"); empty when it names a folder (a link to one counts).
QString FolderProblem(const QByteArray &path);

// The exact bytes of a local file URL's path (percent escapes decoded as bytes);
// empty for any other URL.
QByteArray LocalPathBytes(const QUrl &url);
