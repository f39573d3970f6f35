#include "Fixture.h"

#include <QLocale>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void check(bool ok, const char *what, const QByteArray &path)
{
    if (!ok)
        throw std::runtime_error(std::string(what) + " failed for " + path.toStdString());
}

} // namespace

Fixture::Fixture(const char *parent)
{
    std::string pattern = std::string(parent) + "/folvane-test-XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp", pattern.c_str());
    m_path = pattern.c_str();
    // Open to other users, so tests that drop privileges can walk into it.
    ::chmod(m_path.constData(), 0755);
}

Fixture::~Fixture()
{
    const std::string command = "rm -rf '" + m_path.toStdString() + "'";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

void Fixture::makeFolder(const QByteArray &relative) const
{
    check(::mkdir(at(relative).constData(), 0755) == 0, "mkdir", relative);
}

void Fixture::makeFolderChain(const QByteArray &relative, int levels) const
{
    QByteArray folder = relative;
    makeFolder(folder);
    for (int level = 0; level < levels; ++level) {
        folder += "/d";
        makeFolder(folder);
    }
}

void Fixture::makeFile(const QByteArray &relative, std::uint64_t size) const
{
    const int fd = ::open(at(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    check(fd >= 0, "open", relative);
    check(::ftruncate(fd, off_t(size)) == 0, "ftruncate", relative);
    ::close(fd);
}

void Fixture::makeLink(const QByteArray &relative, const QByteArray &target) const
{
    check(::symlink(target.constData(), at(relative).constData()) == 0, "symlink", relative);
}

void UseUtcAndCLocale()
{
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    QLocale::setDefault(QLocale::c());
}
