// What folvane-cli says about itself, its manual page and the README say alike: the
// options, the exit statuses and the version. A flag added to one of them and not to
// the others fails here.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cstdio>
#include <set>
#include <string>
#include <sys/wait.h>

namespace {

struct CliOutput
{
    int status = -1;
    QByteArray out;
};

// Runs folvane-cli with `args` (none holding a quote) and reads its standard output.
CliOutput runCli(const QStringList &args)
{
    QByteArray command = "'" FOLVANE_CLI "'";
    for (const QString &arg : args)
        command += " '" + arg.toUtf8() + "'";
    command += " 2>/dev/null";
    CliOutput result;
    std::FILE *cli = ::popen(command.constData(), "r");
    if (cli == nullptr)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, cli)) > 0;)
        result.out.append(buffer, qsizetype(n));
    const int status = ::pclose(cli);
    if (status != -1 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

QString sourceFile(const char *path)
{
    QFile file(QStringLiteral(FOLVANE_SOURCE_DIR "/") + QLatin1String(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The text from the line `heading` up to the next heading of its level or above (a
// line in a fenced code block, such as a shell comment, is no heading).
QString section(const QString &text, const QString &heading)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const qsizetype level = heading.section(QLatin1Char(' '), 0, 0).size();
    const QRegularExpression headingLine(QStringLiteral("^#{1,%1} ").arg(level));
    QStringList out;
    bool inside = false;
    bool fenced = false;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("```")))
            fenced = !fenced;
        if (!inside) {
            inside = !fenced && line == heading;
        } else if (!fenced && headingLine.match(line).hasMatch()) {
            break;
        }
        if (inside)
            out << line;
    }
    return out.join(QLatin1Char('\n'));
}

std::set<std::string> matches(const QString &text, const QString &pattern)
{
    std::set<std::string> found;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found.insert(it.next().captured(1).toStdString());
    return found;
}

std::set<std::string> longOptions(const QString &text)
{
    return matches(text, QStringLiteral(R"((?<![\w-])(--[a-z][a-z-]*[a-z]))"));
}

} // namespace

TEST(CliManual, UsageManualPageAndReadmeNameTheSameOptions)
{
    const CliOutput usage = runCli({QStringLiteral("--help")});
    ASSERT_EQ(usage.status, 0);
    const std::set<std::string> options = longOptions(QString::fromUtf8(usage.out));
    ASSERT_TRUE(options.count("--quiet") && options.count("--version"));

    const QString manual = sourceFile("packaging/man/folvane-cli.1.scd");
    ASSERT_FALSE(manual.isEmpty());
    EXPECT_EQ(longOptions(manual), options) << "packaging/man/folvane-cli.1.scd";
    const QString readme = section(sourceFile("README.md"), QStringLiteral("## folvane-cli"));
    ASSERT_FALSE(readme.isEmpty());
    EXPECT_EQ(longOptions(readme), options) << "README.md, section folvane-cli";
}

TEST(CliManual, UsageManualPageAndReadmeGiveTheSameExitStatuses)
{
    const CliOutput usage = runCli({QStringLiteral("--help")});
    const qsizetype exitText = usage.out.indexOf("Exit status:");
    ASSERT_GE(exitText, 0);
    const std::set<std::string> statuses =
        matches(QString::fromUtf8(usage.out.mid(exitText)), QStringLiteral(R"([:;]\s+(\d+) )"));
    EXPECT_EQ(statuses, (std::set<std::string> {"0", "1", "2", "3"}));

    const QString manual =
        section(sourceFile("packaging/man/folvane-cli.1.scd"), QStringLiteral("# EXIT STATUS"));
    EXPECT_EQ(matches(manual, QStringLiteral(R"(\n\*(\d+)\*\n)")), statuses);
    const QString readme = section(sourceFile("README.md"), QStringLiteral("## folvane-cli"));
    EXPECT_EQ(matches(readme, QStringLiteral(R"(\n\| (\d+) \|)")), statuses);
}

TEST(CliManual, VersionIsTheProjectsWhateverElseTheLineHolds)
{
    for (const QStringList &args : {QStringList {QStringLiteral("--version")},
             QStringList {
                 QStringLiteral("--quiet"), QStringLiteral("--version"), QStringLiteral("/nonexistent")}}) {
        const CliOutput run = runCli(args);
        EXPECT_EQ(run.status, 0) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.out, QByteArray("folvane-cli " FOLVANE_VERSION "\n"));
    }
}
