// folvane-cli as scripts see it: what it prints for a person and the exit status,
// for folders that cannot be read, scans that stop short and names a terminal must
// not obey.

#include "Fixture.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QList>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/magic.h>

namespace {

constexpr uid_t Nobody = 65534;

struct CliRun
{
    int status = -1;
    QByteArray err; // standard error, as bytes
};

struct RunSettings
{
    rlim_t descriptorLimit = 0; // 0: unchanged
    bool asNobody = false;
};

// Runs folvane-cli with `args` and no descriptors but the standard three, the
// configuration beside the folder's parent kept out of the way.
CliRun runCli(const Fixture &fx, QList<QByteArray> args, RunSettings settings = {})
{
    const QByteArray errFile = fx.path() + ".stderr";
    args.prepend(fx.path() + ".config.xml");
    args.prepend("--config");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err, 2);
        ::close_range(3, ~0u, 0);
        if (settings.asNobody
            && (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
            ::_exit(125);
        if (settings.descriptorLimit != 0) {
            const struct rlimit limit
            {
                settings.descriptorLimit, settings.descriptorLimit
            };
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        std::vector<char *> argv {const_cast<char *>(FOLVANE_CLI)};
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(FOLVANE_CLI, argv.data());
        ::_exit(126);
    }
    CliRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    QFile file(QString::fromLocal8Bit(errFile));
    if (file.open(QIODevice::ReadOnly))
        run.err = file.readAll();
    ::unlink(errFile.constData());
    return run;
}

bool printable(const QByteArray &text)
{
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7f)
            return false;
    }
    return true;
}

TEST(CliScan, ExitStatusAndTheSystemsReasonForEveryTopFolder)
{
    Fixture fx;
    fx.makeFolder("good");
    fx.makeFile("good/file", 5);
    fx.makeFile("plain", 1);
    fx.makeLink("loop", "loop");
    const QByteArray tooLong = fx.at(QByteArray(300, 'n'));

    const struct
    {
        QByteArray folder;
        int status;
        const char *says;
    } cases[] = {
        {fx.at("good"), 0, "Scanned 1 entries (1 files, 0 folders), 5 bytes in "},
        {fx.at("not-there"), 2, "not-there: No such file or directory"},
        {fx.at("plain"), 2, "plain: not a folder"},
        {fx.at("loop"), 1, "loop: Too many levels of symbolic links"},
        {tooLong, 1, ": File name too long"},
        // A name that would drive the terminal is written escaped.
        {fx.at("evil\x1b]0;owned\x07\n"), 2, "evil\\x1b]0;owned\\x07\\n: No such file or directory"},
    };
    for (const auto &c : cases) {
        const CliRun run = runCli(fx, {c.folder});
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_TRUE(printable(run.err)) << run.err.toStdString();
    }
}

TEST(CliScan, ThreadsOptionTakesACountOfOneOrMore)
{
    Fixture fx;
    fx.makeFolder("tree");
    for (const char *folder : {"tree/a", "tree/b", "tree/b/c"}) {
        fx.makeFolder(folder);
        fx.makeFile(QByteArray(folder) + "/file", 2);
    }
    const QByteArray summary = "Scanned 6 entries (3 files, 3 folders), 6 bytes in ";
    const struct
    {
        QList<QByteArray> args;
        int status;
        QByteArray says;
    } cases[] = {
        {{"--threads", "1"}, 0, summary},
        {{"--threads", "2"}, 0, summary},
        {{"--threads", "16"}, 0, summary},
        {{"--threads", "0"}, 2, "folvane-cli: --threads needs a number N >= 1\n"},
        {{"--threads", "-1"}, 2, "folvane-cli: --threads needs a number N >= 1\n"},
        {{"--threads", "two"}, 2, "folvane-cli: --threads needs a number N >= 1\n"},
    };
    for (const auto &c : cases) {
        QList<QByteArray> args = c.args;
        args.append(fx.at("tree"));
        const CliRun run = runCli(fx, args);
        EXPECT_EQ(run.status, c.status) << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(c.says))
            << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
    }
    // A count missing at the end of the line is a wrong command line too.
    EXPECT_EQ(runCli(fx, {fx.at("tree"), "--threads"}).status, 2);
}

TEST(CliScan, LinksCountOnceAndMountPointsStayShutWhenAsked)
{
    Fixture fx;
    fx.makeFolder("tree");
    fx.makeFolder("tree/a");
    fx.makeFile("tree/a/file", 100);
    ASSERT_EQ(::link(fx.at("tree/a/file").constData(), fx.at("tree/link").constData()), 0);
    const struct
    {
        QList<QByteArray> args;
        QByteArray says;
    } cases[] = {
        {{}, "Scanned 3 entries (2 files, 1 folders), 200 bytes in "},
        {{"--count-links-once"}, "Scanned 3 entries (2 files, 1 folders), 100 bytes in "},
        // Nothing is mounted below: the option changes nothing.
        {{"--one-file-system", "--threads", "2"}, "Scanned 3 entries (2 files, 1 folders), 200 bytes in "},
    };
    for (const auto &c : cases) {
        QList<QByteArray> args = c.args;
        args.append(fx.at("tree"));
        const CliRun run = runCli(fx, args);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(c.says))
            << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
    }
}

TEST(CliScan, UnreadableFoldersAreNamedWithTheirReason)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make folders closed to the user nobody";
    Fixture fx;
    fx.makeFolder("top");
    fx.makeFile("top/visible", 10);
    for (const QByteArray name : {"a", "b", "c", "d", "evil\x1b[31m"}) {
        fx.makeFolder("top/" + name);
        fx.makeFile("top/" + name + "/hidden", 100);
        ::chmod(fx.at("top/" + name).constData(), 0700);
    }
    fx.makeFolder("closed");
    ::chmod(fx.at("closed").constData(), 0711);

    const CliRun some = runCli(fx, {fx.at("top")}, {.asNobody = true});
    ASSERT_NE(some.status, 125) << "cannot drop privileges to the user nobody here";
    EXPECT_EQ(some.status, 0) << some.err.toStdString();
    const QList<QByteArray> lines = some.err.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << some.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Scanned 6 entries (1 files, 5 folders), 10 bytes in "));
    // Three are named, in the order of the listing, the rest counted.
    EXPECT_TRUE(lines[1].startsWith("folvane-cli: warning: 5 folders could not be read: " + fx.at("top/")))
        << lines[1].toStdString();
    EXPECT_EQ(lines[1].count(" (Permission denied)"), 3) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(" and 2 more")) << lines[1].toStdString();
    EXPECT_TRUE(printable(some.err)) << some.err.toStdString();

    const CliRun top = runCli(fx, {fx.at("closed")}, {.asNobody = true});
    EXPECT_EQ(top.status, 1) << top.err.toStdString();
    EXPECT_EQ(top.err, "folvane-cli: cannot read " + fx.at("closed") + ": Permission denied\n");
}

TEST(CliScan, FewDescriptorsGiveTheWholeTreeOrAStopSaidAloud)
{
    Fixture fx;
    QByteArray path = "tree";
    for (int level = 0; level < 10; ++level) {
        fx.makeFolder(path);
        fx.makeFile(path + "/file", 1);
        path += "/level";
    }
    bool sawStop = false;
    bool sawComplete = false;
    for (rlim_t limit = 4; limit <= 16; ++limit) {
        const CliRun run = runCli(fx, {fx.at("tree")}, {.descriptorLimit = limit});
        const QByteArray what = "limit " + QByteArray::number(qulonglong(limit)) + ": " + run.err;
        if (run.status == 0) {
            sawComplete = true;
            EXPECT_TRUE(run.err.startsWith("Scanned 19 entries (10 files, 9 folders), 10 bytes in "))
                << what.toStdString();
        } else {
            // The program may not even start with the fewest; once it scans, a short
            // answer says so.
            EXPECT_FALSE(sawComplete) << what.toStdString();
            if (run.status == 3) {
                sawStop = true;
                EXPECT_TRUE(
                    run.err.contains("folvane-cli: warning: the scan stopped short, out of file descriptors"))
                    << what.toStdString();
            }
        }
    }
    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(sawComplete);
}

TEST(CliScan, TotalsTooLargeToCountSaturateAndSaySo)
{
    Fixture fx;
    struct statfs fs
    { };
    const QByteArray folder = "/dev/shm/folvane-saturated-" + QByteArray::number(::getpid());
    if (::statfs("/dev/shm", &fs) != 0 || fs.f_type != TMPFS_MAGIC || ::mkdir(folder.constData(), 0755) != 0)
        GTEST_SKIP() << "needs a tmpfs at /dev/shm for files of 2^63 - 1 bytes";
    bool made = true;
    for (const char *name : {"/x", "/y", "/z"}) {
        const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT, 0644);
        made = made && fd >= 0 && ::ftruncate(fd, 0x7fffffffffffffffll) == 0;
        ::close(fd);
    }
    const CliRun run = runCli(fx, {folder});
    [[maybe_unused]] const int removed = std::system(("rm -rf '" + folder + "'").constData());
    if (!made)
        GTEST_SKIP() << "this tmpfs does not take files of 2^63 - 1 bytes";
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("(3 files, 0 folders), 18446744073709551615 bytes in "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("folvane-cli: warning: the total is too large to count"))
        << run.err.toStdString();
}

} // namespace
