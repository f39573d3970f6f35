// folvane-cli with configuration files that are broken or cannot be written: the scan
// goes on and the reason is one warning line.

#include "ConfigFixture.h"
#include "TConfig.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct CliRun
{
    int status = -1; // -1: killed, as after hanging
    QStringList lines; // standard error
};

// Arguments are bytes, as a shell hands them over: a name need not be text.
CliRun runCli(const QTemporaryDir &dir, const QList<QByteArray> &args, const QByteArray &workingFolder = {})
{
    const QByteArray errFile = QFile::encodeName(dir.filePath("stderr.txt"));
    std::vector<QByteArray> argv = {QByteArray(FOLVANE_CLI)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> pointers;
    for (QByteArray &a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    CliRun run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(30); // kept across exec: a run that hangs is ended
        const int err = ::open(errFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = ::open("/dev/null", O_WRONLY);
        if (err < 0 || out < 0 || ::dup2(err, 2) < 0 || ::dup2(out, 1) < 0
            || (!workingFolder.isEmpty() && ::chdir(workingFolder.constData()) != 0))
            ::_exit(127);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int raw = 0;
    if (pid > 0 && ::waitpid(pid, &raw, 0) == pid && WIFEXITED(raw))
        run.status = WEXITSTATUS(raw);
    run.lines = QString::fromUtf8(ConfigFixture::readBytes(QFile::decodeName(errFile)))
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

int countWarnings(const QStringList &lines)
{
    int n = 0;
    for (const QString &l : lines)
        n += l.startsWith(QStringLiteral("folvane-cli: warning: ")) ? 1 : 0;
    return n;
}

TEST(CliConfig, ConfigurationProblemsWarnOnceAndTheScanGoesOn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray folder = base + "/scanned";
    ASSERT_TRUE(QDir().mkpath(dir.filePath("scanned/sub")));
    const QByteArray broken = base + "/broken.xml";
    ConfigFixture::writeBytes(QFile::decodeName(broken), "<config>\n<nodes>\n</config>");
    const QByteArray good = base + "/good.xml";
    ConfigFixture::writeBytes(QFile::decodeName(good), TConfig::defaultText());
    const QByteArray unwritable = base + "/missing/FolvaneConfig.xml";
    const QByteArray fifo = base + "/fifo.xml";
    ASSERT_EQ(::mkfifo(fifo.constData(), 0644), 0);
    // Read as text, this name turns into another one: that file must stay untouched.
    const QByteArray notText = base + "/bad\xff.xml";
    const QByteArray asText = base + "/bad\xef\xbf\xbd.xml";
    ConfigFixture::writeBytes(QFile::decodeName(asText), "<config><nodes/></config>");

    const struct
    {
        QList<QByteArray> args;
        int warnings;
        int otherLines;
        const char *mention;
    } cases[] = {
        {{"--config", broken, folder}, 1, 1, ":3: "},
        {{"--quiet", "--config", broken, folder}, 1, 0, ".bak"},
        {{"--config", unwritable, folder}, 1, 1, "missing/FolvaneConfig.xml"},
        {{"--config", good, folder}, 0, 1, ""},
        {{"--config", fifo, folder}, 1, 1, "fifo.xml is a FIFO"},
        {{"--config", notText, folder}, 1, 1, "/bad\\xff.xml: its name is not valid UTF-8"},
    };
    for (const auto &c : cases) {
        const CliRun run = runCli(dir, c.args);
        const QString all = run.lines.join(QLatin1Char('\n'));
        EXPECT_EQ(run.status, 0) << all.toStdString();
        EXPECT_EQ(countWarnings(run.lines), c.warnings) << all.toStdString();
        EXPECT_EQ(run.lines.size(), c.warnings + c.otherLines) << all.toStdString();
        EXPECT_TRUE(all.contains(QString::fromUtf8(c.mention))) << all.toStdString();
        if (c.otherLines > 0) {
            EXPECT_TRUE(run.lines.last().startsWith(QStringLiteral("Scanned 1 entries")))
                << all.toStdString();
        }
    }
    EXPECT_EQ(
        ConfigFixture::readBytes(QFile::decodeName(broken)), QByteArray("<config>\n<nodes>\n</config>"));
    EXPECT_EQ(ConfigFixture::readBytes(QFile::decodeName(asText)), QByteArray("<config><nodes/></config>"));
    EXPECT_EQ(ConfigFixture::entries(dir.path()),
        QStringList({"bad\uFFFD.xml", "broken.xml", "broken.xml.bak", "fifo.xml", "good.xml", "scanned",
            "stderr.txt"}));
}

TEST(CliConfig, RelativeNameInAFolderWhoseNameIsNotText)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path()) + "/run\xff";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const CliRun run = runCli(dir, {"--config", "own.xml", "."}, folder);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(countWarnings(run.lines), 0) << run.lines.join('\n').toStdString();

    // Qt cannot name this folder either: read and clean up by its bytes.
    const QByteArray own = folder + "/own.xml";
    QByteArray written;
    if (std::FILE *f = std::fopen(own.constData(), "rb")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
            written.append(chunk, qsizetype(n));
        std::fclose(f);
    }
    EXPECT_EQ(written, TConfig::defaultText());
    ::unlink(own.constData());
    ::rmdir(folder.constData());
    EXPECT_EQ(ConfigFixture::entries(dir.path()), QStringList({"stderr.txt"})) << "written somewhere else";
}

TEST(CliConfig, ConfigOptionNeedsAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());
    for (const QList<QByteArray> &args : {QList<QByteArray> {"--config"},
             QList<QByteArray> {"--config", "", folder}, QList<QByteArray> {"--configfile", "x", folder}}) {
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.lines.join('\n').contains(
            QStringLiteral("Usage: folvane-cli [--quiet] [--config FILE] [--threads N]")))
            << args.join(' ').toStdString();
    }
}

} // namespace
