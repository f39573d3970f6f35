// What stands at the configuration's path, and what stands beside it: things that are
// no configuration, earlier copies, links, and a disk that fills up. None may hang the
// program, exhaust its memory, or lose a file of the user's.

#include "ConfigFixture.h"
#include "TConfig.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using ConfigFixture::entries;
using ConfigFixture::readBytes;
using ConfigFixture::runInChild;
using ConfigFixture::writeBytes;

namespace {

QByteArray bytesOf(const QString &name)
{
    return QFile::encodeName(name);
}

bool exists(const QString &name)
{
    struct stat st;
    return ::lstat(bytesOf(name).constData(), &st) == 0;
}

bool isLink(const QString &name)
{
    struct stat st;
    return ::lstat(bytesOf(name).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool contains(const QString &text, const QString &part)
{
    return text.contains(part);
}

// 0 when Save refused with an input/output error that names the file and `reason`.
int saveFails(TConfig &config, const QString &reason)
{
    try {
        config.Save();
    } catch (const ConfigError &e) {
        const QString message = e.message();
        if (e.kind() == ConfigError::Io && contains(message, config.FileName()) && contains(message, reason))
            return 0;
        std::fprintf(stderr, "unexpected save error: %s\n", e.what());
        return 11;
    }
    return 10;
}

void makeFifo(const QString &name)
{
    ASSERT_EQ(::mkfifo(bytesOf(name).constData(), 0644), 0);
}

TEST(TConfigFiles, WhatIsNoRegularFileIsNeitherReadNorWritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath("fifo.xml");
    makeFifo(fifo);
    const QString folder = dir.filePath("folder.xml");
    ASSERT_TRUE(QDir().mkdir(folder));

    const struct
    {
        QString name;
        const char *kind;
    } cases[] = {
        {fifo, "is a FIFO"}, // open would wait for a writer for ever
        {folder, "is a folder"}, {"/dev/null", "is a character device"}, // root could write /dev/null.bak
        {"/dev/zero", "is a character device"}, // reading never ends
        {"/dev/urandom", "is a character device"},
        {"/proc/kmsg", ""}, // claims to be a regular file; reading blocks and eats kernel messages
    };
    for (const auto &c : cases) {
        if (!exists(c.name))
            continue;
        const bool bakBefore = exists(c.name + ".bak");
        const int status = runInChild(
            [&c] {
                TConfig config(c.name);
                const QString problem = config.loadProblem();
                std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
                if (!contains(problem, c.name) || !contains(problem, QString::fromLatin1(c.kind))
                    || !contains(problem, QStringLiteral("left as it is")))
                    return 1;
                if (config.Document().nodes().count() != 15)
                    return 2;
                return saveFails(config, QString());
            },
            20);
        EXPECT_EQ(status, 0) << c.name.toStdString()
                             << " (-1: hung or crashed, 1: message, 2: defaults, 1x: save)";
        EXPECT_EQ(exists(c.name + ".bak"), bakBefore) << c.name.toStdString();
    }
    EXPECT_EQ(entries(dir.path()), QStringList({"fifo.xml", "folder.xml"}));
    struct stat st;
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(TConfigFiles, FileBeyondTheSizeBoundIsLeftAlone)
{
    constexpr qint64 Bound = 16 * 1024 * 1024;
    const struct
    {
        qint64 size;
        bool accepted;
    } cases[] = {
        {Bound, true}, {Bound + 1, false},
        {40LL * 1024 * 1024 * 1024, false}, // once read whole: std::bad_alloc
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString name = dir.filePath(QString::fromLatin1(TConfig::BaseName));
        // A real configuration padded with blanks, or a sparse file that holds nothing.
        if (c.accepted)
            writeBytes(
                name, TConfig::defaultText() + QByteArray(c.size - TConfig::defaultText().size(), ' '));
        else
            writeBytes(name, {});
        if (!c.accepted && ::truncate(bytesOf(name).constData(), off_t(c.size)) != 0) {
            std::fprintf(stderr, "no sparse file of %lld bytes here\n", static_cast<long long>(c.size));
            continue;
        }
        TConfig config(name);
        EXPECT_EQ(config.Document().nodes().count(), 15) << c.size;
        EXPECT_EQ(QFileInfo(name).size(), c.size);
        if (c.accepted) {
            EXPECT_TRUE(config.loadProblem().isEmpty()) << config.loadProblem().toStdString();
            continue;
        }
        EXPECT_TRUE(contains(config.loadProblem(), QStringLiteral("larger than 16 MiB")))
            << config.loadProblem().toStdString();
        EXPECT_EQ(saveFails(config, QStringLiteral("larger than 16 MiB")), 0) << c.size;
        EXPECT_EQ(QFileInfo(name).size(), c.size) << "the file was replaced";
        EXPECT_EQ(entries(dir.path()), QStringList({QString::fromLatin1(TConfig::BaseName)}));
    }
}

TEST(TConfigFiles, RunningOutOfMemoryNeverPassesForABrokenFile)
{
#ifdef FOLVANE_SANITIZED
    GTEST_SKIP() << "AddressSanitizer cannot run under a small address-space limit";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath(QString::fromLatin1(TConfig::BaseName));
    // Well-formed and within the size bound, but millions of elements in memory.
    QByteArray text = "<config versionNo=\"2\">";
    text += QByteArray("<a/>").repeated(3 * 1000 * 1000);
    text += "</config>";
    writeBytes(name, text);

    const int status = runInChild([&name] {
        long pages = 0;
        if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        if (pages == 0)
            return 77;
        const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + 64 * 1024 * 1024;
        const struct rlimit as = {limit, limit};
        if (::setrlimit(RLIMIT_AS, &as) != 0)
            return 77;
        TConfig config(name);
        std::fprintf(stderr, "%s\n", config.loadProblem().toLocal8Bit().constData());
        if (!contains(config.loadProblem(), QStringLiteral("not enough memory")))
            return 1;
        if (config.Document().nodes().count() != 15)
            return 2;
        return saveFails(config, QStringLiteral("not enough memory"));
    });
    if (status == 77)
        GTEST_SKIP() << "cannot limit the address space here";
    EXPECT_EQ(status, 0) << "-1: crashed, 1: message, 2: defaults, 1x: save";
    EXPECT_EQ(readBytes(name), text);
    EXPECT_EQ(entries(dir.path()), QStringList({QString::fromLatin1(TConfig::BaseName)}))
        << "taken for broken";
}

TEST(TConfigFiles, BrokenFileIsCopiedToTheFirstFreeName)
{
    const QByteArray broken = "<config><nodes>";
    const struct
    {
        const char *what;
        std::function<void(const QString &bak, const QString &outside)> prepare;
        const char *copy;
        bool made;
    } cases[] = {
        {"no copy yet", [](const QString &, const QString &) {}, ".bak", true},
        {"an older copy", [](const QString &bak, const QString &) { writeBytes(bak, "older"); }, ".bak.1",
            true},
        {"two older copies",
            [](const QString &bak, const QString &) {
                writeBytes(bak, "older");
                writeBytes(bak + ".1", "old");
            },
            ".bak.2", true},
        {"a link to another file",
            [](const QString &bak, const QString &outside) {
                writeBytes(outside, "not yours");
                ASSERT_EQ(::symlink(bytesOf(outside).constData(), bytesOf(bak).constData()), 0);
            },
            ".bak.1", true},
        {"a link to nowhere",
            [](const QString &bak, const QString &outside) {
                ASSERT_EQ(::symlink(bytesOf(outside).constData(), bytesOf(bak).constData()), 0);
            },
            ".bak.1", true},
        {"a folder", [](const QString &bak, const QString &) { ASSERT_TRUE(QDir().mkdir(bak)); }, ".bak.1",
            true},
        {"the same copy from an earlier run",
            [&broken](const QString &bak, const QString &) { writeBytes(bak, broken); }, ".bak", false},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir, elsewhere;
        ASSERT_TRUE(dir.isValid() && elsewhere.isValid());
        const QString name = dir.filePath(QString::fromLatin1(TConfig::BaseName));
        const QString outside = elsewhere.filePath("victim");
        writeBytes(name, broken);
        c.prepare(name + ".bak", outside);
        const QStringList before = entries(dir.path());
        const QByteArray outsideBefore = exists(outside) ? readBytes(outside) : QByteArray();
        const bool wasLink = isLink(name + ".bak");

        TConfig config(name);
        const QString copy = name + QString::fromLatin1(c.copy);
        EXPECT_TRUE(config.loadProblem().endsWith(copy))
            << c.what << ": " << config.loadProblem().toStdString();
        EXPECT_EQ(readBytes(copy), broken) << c.what;
        QStringList expected = before;
        if (c.made)
            expected.append(QFileInfo(copy).fileName());
        expected.sort();
        EXPECT_EQ(entries(dir.path()), expected) << c.what;
        EXPECT_EQ(exists(outside) ? readBytes(outside) : QByteArray(), outsideBefore) << c.what;
        EXPECT_EQ(isLink(name + ".bak"), wasLink) << c.what;
        config.Save();
        EXPECT_EQ(readBytes(copy), broken) << c.what << ": saving touched the copy";
    }
}

TEST(TConfigFiles, SaveThroughASymbolicLinkReplacesItsTarget)
{
    const struct
    {
        const char *what;
        QStringList chain;
        bool dangling;
    } cases[] = {
        // Each link points at the next name; the last name is the file itself.
        {"absolute link", {"home/FolvaneConfig.xml", "@/real/config.xml"}, false},
        {"relative link", {"home/FolvaneConfig.xml", "../real/config.xml"}, false},
        {"chain of links", {"home/FolvaneConfig.xml", "@/home/next.xml", "../real/config.xml"}, false},
        {"link to nothing yet", {"home/FolvaneConfig.xml", "../real/config.xml"}, true},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(
            dir.isValid() && QDir().mkpath(dir.filePath("home")) && QDir().mkpath(dir.filePath("real")));
        // "@" stands for the temporary folder, so absolute links can be written down.
        QStringList names;
        for (const QString &n : c.chain)
            names.append(QString(n).replace(QLatin1Char('@'), dir.path()));
        QString target = dir.filePath(names.first());
        QStringList links;
        for (qsizetype i = 1; i < names.size(); ++i) {
            links.append(target);
            ASSERT_EQ(::symlink(bytesOf(names[i]).constData(), bytesOf(target).constData()), 0);
            target = names[i].startsWith('/') ? names[i] : QFileInfo(target).dir().filePath(names[i]);
        }
        if (!c.dangling)
            writeBytes(target, TConfig::defaultText());

        {
            TConfig config(links.first());
            EXPECT_TRUE(config.loadProblem().isEmpty())
                << c.what << ": " << config.loadProblem().toStdString();
            EXPECT_EQ(readBytes(target), TConfig::defaultText()) << c.what;
            config.Document().agerange().item(0).setLabel(QStringLiteral("changed"));
            config.Save();
        }
        for (const QString &link : links)
            EXPECT_TRUE(isLink(link)) << c.what << ": " << link.toStdString() << " was replaced";
        EXPECT_TRUE(readBytes(target).contains("label=\"changed\"")) << c.what;
        EXPECT_EQ(entries(dir.filePath("real")), QStringList({"config.xml"})) << c.what;

        // A broken target is copied where it stands, not where the link does.
        writeBytes(target, "<config>");
        TConfig broken(links.first());
        EXPECT_TRUE(broken.loadProblem().endsWith("config.xml.bak")) << broken.loadProblem().toStdString();
        EXPECT_EQ(readBytes(target + ".bak"), QByteArray("<config>")) << c.what;
        EXPECT_FALSE(exists(links.first() + ".bak")) << c.what;
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath("a.xml"), b = dir.filePath("b.xml");
    ASSERT_EQ(::symlink("b.xml", bytesOf(a).constData()), 0);
    ASSERT_EQ(::symlink("a.xml", bytesOf(b).constData()), 0);
    TConfig loop(a);
    EXPECT_TRUE(contains(loop.loadProblem(), QStringLiteral("Too many levels of symbolic links")))
        << loop.loadProblem().toStdString();
    EXPECT_EQ(saveFails(loop, QString()), 0);
    EXPECT_TRUE(isLink(a) && isLink(b));
    EXPECT_EQ(entries(dir.path()), QStringList({"a.xml", "b.xml"}));
}

// Each write of the configuration in a child whose files may not grow past 1 KiB,
// as on a full disk: the message gives the system's reason and nothing is left half done.
TEST(TConfigFiles, FullDiskNamesTheReason)
{
    constexpr rlim_t Limit = 1024;
    const QByteArray larger = TConfig::defaultText() + "<!-- a file larger than the limit -->";
    ASSERT_GT(rlim_t(TConfig::defaultText().size()), Limit);
    const struct
    {
        const char *what;
        QByteArray before; // empty: no file yet
        const char *message;
    } cases[] = {
        {"save", larger, "cannot save the configuration to %1: File too large"},
        {"default", {}, "cannot write the default configuration to %1: File too large"},
        {"copy of a broken file", larger.left(larger.size() - 9),
            "could not be copied to %1.bak (File too large)"},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString name = dir.filePath(QString::fromLatin1(TConfig::BaseName));
        if (!c.before.isEmpty())
            writeBytes(name, c.before);
        const QString message = QString::fromLatin1(c.message).arg(name);
        const int status = runInChild(
            [&] {
                TConfig config(name);
                if (c.before.isEmpty() || !config.loadProblem().isEmpty()) {
                    std::fprintf(stderr, "%s\n", config.loadProblem().toLocal8Bit().constData());
                    if (!contains(config.loadProblem(), message))
                        return 1;
                }
                if (c.before.isEmpty())
                    return 0; // a later save may succeed: nothing was refused
                // A save fails either way here; the copy's failure must be the reason given.
                return saveFails(
                    config, c.before == larger ? message : QStringLiteral("could not be copied"));
            },
            20, Limit);
        EXPECT_EQ(status, 0) << c.what << " (1: load message, 1x: save)";
        const QStringList expected =
            c.before.isEmpty() ? QStringList() : QStringList({QString::fromLatin1(TConfig::BaseName)});
        EXPECT_EQ(entries(dir.path()), expected) << c.what << ": something was left behind";
        if (!c.before.isEmpty()) {
            EXPECT_EQ(readBytes(name), c.before) << c.what;
        }
    }
}

TEST(TConfigFiles, SaveOnAFullFileSystem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray mountPoint = bytesOf(dir.path());
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount {mountPoint};
    const QString name = dir.filePath(QString::fromLatin1(TConfig::BaseName));
    {
        TConfig config(name);
        ASSERT_TRUE(config.loadProblem().isEmpty()) << config.loadProblem().toStdString();
        // Fill what is left, then ask for a save larger than the old file.
        const int filler = ::open(bytesOf(dir.filePath("filler")).constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(filler, 0);
        const QByteArray block(4096, 'x');
        while (::write(filler, block.constData(), size_t(block.size())) > 0) { }
        ::close(filler);
        config.Document().sizerange().item(0).setLabel(QString(8000, QLatin1Char('y')));
        try {
            config.Save();
            ADD_FAILURE() << "a save on a full file system reported success";
        } catch (const ConfigError &e) {
            EXPECT_EQ(e.message(),
                QStringLiteral("cannot save the configuration to %1: No space left on device").arg(name));
        }
    }
    EXPECT_EQ(readBytes(name), TConfig::defaultText());
    EXPECT_EQ(entries(dir.path()), QStringList({QString::fromLatin1(TConfig::BaseName), "filler"}));
}

} // namespace
