#include "FuzzFolder.h"

#include "FuzzCheck.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray makeFolder()
{
    // scripts/fuzz.sh names a folder of its own, which it removes even after a crash.
    const QByteArray chosen = qgetenv("FOLVANE_FUZZ_TMP");
    for (const QByteArray &parent : {chosen, QByteArray("/dev/shm"), QFile::encodeName(QDir::tempPath())}) {
        if (parent.isEmpty())
            continue;
        QByteArray pattern = parent + "/folvane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            return pattern;
    }
    FuzzFailure("no temporary folder could be made");
}

void removeEntries(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (dir == nullptr)
        return;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

FuzzFolder::FuzzFolder() : m_path(makeFolder())
{
    std::atexit([] {
        const QByteArray &path = instance().path();
        removeEntries(path);
        ::rmdir(path.constData());
    });
}

const FuzzFolder &FuzzFolder::instance()
{
    // Never destroyed: the exit handler above still reads it.
    static const FuzzFolder *const folder = new FuzzFolder;
    return *folder;
}

QString FuzzFolder::file(const char *name) const
{
    return QFile::decodeName(m_path + '/' + name);
}

void FuzzFolder::clear() const
{
    removeEntries(m_path);
}
