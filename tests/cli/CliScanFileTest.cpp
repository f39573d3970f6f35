// folvane-cli with scan files: a scan saved and opened again through a pipe and
// through gzip gives the same summary, several files merge, a comparison is
// reported, and files or command lines that cannot work say why with their status.

#include "Fixture.h"
#include "SampleTree.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace {

struct Shell
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs `command` with sh, folvane-cli named by $CLI and the configuration kept aside.
Shell sh(const Fixture &fx, const QByteArray &command)
{
    const QByteArray err = fx.path() + ".err";
    const QByteArray line = "CLI='" FOLVANE_CLI "' CONFIG='" + fx.path() + ".config.xml' DIR='" + fx.path()
        + "'; cli() { \"$CLI\" --config \"$CONFIG\" \"$@\"; }; { " + command + "; } 2>'" + err + "'";
    Shell r;
    if (std::FILE *pipe = ::popen(line.constData(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            r.out.append(buffer, qsizetype(n));
        const int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    QFile file(QFile::decodeName(err));
    if (file.open(QIODevice::ReadOnly))
        r.err = file.readAll();
    return r;
}

// "N entries (F files, D folders), B bytes" of a summary line.
QByteArray figures(const QByteArray &summary)
{
    const qsizetype from = summary.indexOf(' ') + 1;
    return summary.mid(from, summary.indexOf(" in ") - from);
}

TEST(CliScanFile, SavedScansOpenAgainThroughPipesAndGzipAndMerge)
{
    Fixture fx;
    MakeSampleTree(fx);
    const Shell scanned = sh(fx, "cli \"$DIR\"");
    ASSERT_EQ(scanned.status, 0) << scanned.err.constData();
    ASSERT_TRUE(scanned.err.startsWith("Scanned "));

    const Shell piped = sh(fx, "cli --quiet --format ncdu \"$DIR\" | cli --from -");
    EXPECT_EQ(piped.status, 0) << piped.err.constData();
    EXPECT_TRUE(piped.err.startsWith("Opened ")) << piped.err.constData();
    EXPECT_EQ(figures(piped.err), figures(scanned.err));

    const Shell zipped = sh(fx,
        "cli --quiet --output \"$DIR.scan.json.gz\" \"$DIR\" && gzip -t \"$DIR.scan.json.gz\""
        " && cli --from \"$DIR.scan.json.gz\"");
    EXPECT_EQ(zipped.status, 0) << zipped.err.constData();
    EXPECT_EQ(figures(zipped.err), figures(scanned.err));

    // Two scans in one tree: the first row of the export is their common top.
    const Shell merged = sh(
        fx, "cli --quiet --from \"$DIR.scan.json.gz\" --from \"$DIR.scan.json.gz\" --format csv | sed -n 2p");
    EXPECT_EQ(merged.status, 0) << merged.err.constData();
    EXPECT_TRUE(merged.out.startsWith("2 scans,2 scans,")) << merged.out.constData();

    // A comparison with the scan as it was: the file grew by 5 bytes, and so its folder.
    fx.makeFile("a.txt", 15);
    const Shell compared = sh(fx, "cli --compare \"$DIR.scan.json.gz\" --format csv \"$DIR\" | head -2");
    EXPECT_EQ(compared.status, 0) << compared.err.constData();
    EXPECT_TRUE(compared.err.contains(
        "Compared with " + fx.path() + ".scan.json.gz: 5 bytes (0 new, 0 removed, 2 grown, 0 shrunk)\n"))
        << compared.err.constData();
    EXPECT_TRUE(compared.out.split('\n').value(0).endsWith(",Size Change,Change\r"))
        << compared.out.constData();
    EXPECT_TRUE(compared.out.split('\n').value(1).endsWith(",5,grown\r")) << compared.out.constData();
    QFile::remove(QFile::decodeName(fx.path() + ".scan.json.gz"));
}

TEST(CliScanFile, WhatCannotWorkSaysWhyWithItsStatus)
{
    Fixture fx;
    fx.makeFile("f", 1);
    QFile bad(QFile::decodeName(fx.path() + ".bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[1,2,{},[{\"name\":\"/x\"},{\"name\":\"a\",\"asize\":-5}]]");
    bad.close();
    const struct
    {
        QByteArray command;
        int status;
        QByteArray message;
    } cases[] = {
        {"cli --from \"$DIR.bad.json\"", 1,
            "folvane-cli: cannot open scan file " + fx.path()
                + ".bad.json: byte 43: expected a size from 0 to 9223372036854775807, found -5\n"},
        {"cli --from \"$DIR.none.json\"", 1,
            "folvane-cli: cannot open scan file " + fx.path() + ".none.json: No such file or directory\n"},
        {"cli --quiet --compare \"$DIR.bad.json\" \"$DIR\"", 1,
            "folvane-cli: cannot open scan file " + fx.path()
                + ".bad.json: byte 43: expected a size from 0 to 9223372036854775807, found -5\n"},
        {"cli --from \"$DIR.bad.json\" \"$DIR\"", 2,
            "folvane-cli: give either FOLDER or --from FILE, not both\n"},
        {"cli --format ncdu --sort \"File Size\" \"$DIR\"", 2,
            "folvane-cli: --list, --sort and --descending order a list: a scan file holds the whole scan\n"},
        {"cli --format ncdu --output /nonexistent/dir/x.json \"$DIR\"", 1,
            "folvane-cli: cannot write /nonexistent/dir/x.json: No such file or directory\n"},
    };
    for (const auto &c : cases) {
        const Shell r = sh(fx, c.command);
        EXPECT_EQ(r.status, c.status) << c.command.constData();
        // The usage text follows a usage error.
        const QByteArray first = r.err.left(r.err.indexOf('\n') + 1);
        const QByteArray said = c.status == 2 ? first : r.err.mid(r.err.lastIndexOf("folvane-cli: "));
        EXPECT_EQ(said, c.message) << c.command.constData() << ": " << r.err.constData();
    }
    QFile::remove(bad.fileName());
}

} // namespace
