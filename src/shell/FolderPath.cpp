#include "FolderPath.h"

#include <QList>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

QByteArray NormaliseFolderBytes(const QByteArray &path)
{
    if (path.isEmpty())
        return {};
    const bool absolute = path.startsWith('/');
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty() && parts.last() != "..") {
                parts.removeLast();
                continue;
            }
            if (absolute) // nothing is above the root
                continue;
        }
        parts.append(part);
    }
    QByteArray cleaned = absolute ? QByteArray("/") : QByteArray();
    cleaned += parts.join('/');
    return cleaned.isEmpty() ? QByteArray(".") : cleaned;
}

QByteArray AbsoluteFolderBytes(const QByteArray &path)
{
    if (path.isEmpty() || path.startsWith('/'))
        return NormaliseFolderBytes(path);
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return NormaliseFolderBytes(path); // relative then; the scan says what fails
        buffer.resize(buffer.size() * 2);
    }
    return NormaliseFolderBytes(QByteArray(buffer.data()) + '/' + path);
}

QString FolderProblem(const QByteArray &path)
{
    struct stat st;
    if (path.isEmpty())
        return QStringLiteral("no folder given");
    if (::stat(path.constData(), &st) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("not a folder");
    return {};
}

QByteArray LocalPathBytes(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}
