#include "ConfigFixture.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace ConfigFixture {

QByteArray readBytes(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + fileName.toStdString());
    return f.readAll();
}

void writeBytes(const QString &fileName, const QByteArray &bytes)
{
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + fileName.toStdString());
}

int runInChild(const std::function<int()> &body, unsigned seconds, rlim_t fileSizeLimit)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::alarm(seconds);
        if (fileSizeLimit != RLIM_INFINITY) {
            const struct rlimit limit = {fileSizeLimit, fileSizeLimit};
            if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(126);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace ConfigFixture
