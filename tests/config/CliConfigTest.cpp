// folvane-cli with configuration files that are broken or cannot be written: the scan
// goes on and the reason is one warning line.

#include "ConfigFixture.h"
#include "TConfig.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>
#include <sys/wait.h>

namespace {

struct CliRun
{
    int status = -1;
    QStringList lines; // standard error
};

CliRun runCli(const QTemporaryDir &dir, const QStringList &args)
{
    QString command = QStringLiteral("'%1'").arg(QString::fromUtf8(FOLVANE_CLI));
    for (const QString &a : args)
        command += QStringLiteral(" '%1'").arg(a);
    const QString errFile = dir.filePath("stderr.txt");
    command += QStringLiteral(" >/dev/null 2>'%1'").arg(errFile);
    CliRun run;
    const int raw = std::system(command.toLocal8Bit().constData());
    if (raw != -1 && WIFEXITED(raw))
        run.status = WEXITSTATUS(raw);
    run.lines = QString::fromUtf8(ConfigFixture::readBytes(errFile)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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
    const QString folder = dir.filePath("scanned");
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    const QString broken = dir.filePath("broken.xml");
    ConfigFixture::writeBytes(broken, "<config>\n<nodes>\n</config>");
    const QString good = dir.filePath("good.xml");
    ConfigFixture::writeBytes(good, TConfig::defaultText());
    const QString unwritable = dir.filePath("missing/FolvaneConfig.xml");

    const struct { QStringList args; int warnings; int otherLines; const char *mention; } cases[] = {
        {{"--config", broken, folder}, 1, 1, ":3: "},
        {{"--quiet", "--config", broken, folder}, 1, 0, ".bak"},
        {{"--config", unwritable, folder}, 1, 1, "missing/FolvaneConfig.xml"},
        {{"--config", good, folder}, 0, 1, ""},
    };
    for (const auto &c : cases) {
        const CliRun run = runCli(dir, c.args);
        const QString all = run.lines.join(QLatin1Char('\n'));
        EXPECT_EQ(run.status, 0) << all.toStdString();
        EXPECT_EQ(countWarnings(run.lines), c.warnings) << all.toStdString();
        EXPECT_EQ(run.lines.size(), c.warnings + c.otherLines) << all.toStdString();
        EXPECT_TRUE(all.contains(QString::fromUtf8(c.mention))) << all.toStdString();
        if (c.otherLines > 0) {
            EXPECT_TRUE(run.lines.last().startsWith(QStringLiteral("Scanned 1 entries"))) << all.toStdString();
        }
    }
    EXPECT_EQ(ConfigFixture::readBytes(broken), QByteArray("<config>\n<nodes>\n</config>"));
}

TEST(CliConfig, ConfigOptionNeedsAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QStringList &args : {QStringList{"--config"}, QStringList{"--config", "", dir.path()},
                                    QStringList{"--configfile", "x", dir.path()}}) {
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.lines.join('\n').contains(QStringLiteral("Usage: folvane-cli [--quiet] [--config FILE] FOLDER")))
            << args.join(' ').toStdString();
    }
}

} // namespace
