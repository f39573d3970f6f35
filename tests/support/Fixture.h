#pragma once

#include <QByteArray>

#include <cstdint>

// A temporary folder for scanner fixtures, removed with `rm -rf` so that trees
// deeper than PATH_MAX and folders closed to everyone go as well.
class Fixture
{
public:
    // In `parent`: a tmpfs such as /dev/shm makes fixtures of many entries quickly.
    explicit Fixture(const char *parent = "/tmp");
    ~Fixture();
    Fixture(const Fixture &) = delete;
    Fixture &operator=(const Fixture &) = delete;

    const QByteArray &path() const { return m_path; }
    QByteArray at(const QByteArray &relative) const { return m_path + '/' + relative; }

    void makeFolder(const QByteArray &relative) const;
    // `relative`, and `levels` folders "d" each inside the one before.
    void makeFolderChain(const QByteArray &relative, int levels) const;
    void makeFile(const QByteArray &relative, std::uint64_t size = 0) const;
    void makeLink(const QByteArray &relative, const QByteArray &target) const;

private:
    QByteArray m_path;
};

// Texts of times and numbers depend on both: tests pin them.
void UseUtcAndCLocale();
