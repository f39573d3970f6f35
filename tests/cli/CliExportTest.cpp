// Exports of folvane-cli read back by readers nobody here wrote: Python's csv module,
// html5lib, ElementTree and xmllint, openpyxl. Every hostile name and size must come
// back, and a failed export must leave nothing new behind.

#include "Fixture.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Debian's own interpreter, which has the Debian packages the readers come from,
// whatever other Python a PATH may put first.
constexpr const char *Python = "/usr/bin/python3";

struct CliRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readAll(const QByteArray &path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `program` with `args`; standard output goes to `outputTo` when given, and the
// program may open at most `descriptors` files when that is not 0.
CliRun run(const char *program, QList<QByteArray> args, const QByteArray &scratch,
    const char *outputTo = nullptr, rlim_t descriptors = 0)
{
    const QByteArray outFile = scratch + ".stdout";
    const QByteArray errFile = scratch + ".stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outputTo ? outputTo : outFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = ::open(errFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::close_range(3, ~0u, 0);
        const struct rlimit limit = {descriptors, descriptors};
        if (descriptors != 0 && ::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::_exit(126);
        std::vector<char *> argv {const_cast<char *>(program)};
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(program, argv.data());
        ::_exit(127);
    }
    CliRun r;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = readAll(outFile);
    r.err = readAll(errFile);
    ::unlink(outFile.constData());
    ::unlink(errFile.constData());
    return r;
}

CliRun runCli(
    const Fixture &fx, QList<QByteArray> args, const char *outputTo = nullptr, rlim_t descriptors = 0)
{
    args.prepend(fx.path() + ".config.xml");
    args.prepend("--config");
    return run(FOLVANE_CLI, args, fx.path() + ".cli", outputTo, descriptors);
}

using Pairs = std::vector<std::pair<std::string, std::string>>; // UTF-8, so failures print readably

// The File Name and File Size cells of an export, as the outside reader sees them.
Pairs readBack(const Fixture &fx, const char *kind, const QByteArray &file, QString *problem)
{
    const CliRun r = run(Python, {FOLVANE_CLI_TEST_DIR "/read_export.py", kind, file}, fx.path() + ".py");
    if (r.status != 0) {
        *problem = QString::fromUtf8(r.err);
        return {};
    }
    Pairs pairs;
    for (const QJsonValue row : QJsonDocument::fromJson(r.out).object().value(u"rows").toArray())
        pairs.emplace_back(
            row.toArray().at(0).toString().toStdString(), row.toArray().at(1).toString().toStdString());
    return pairs;
}

// The names in `folder`, hidden ones too, for a failure message to show.
std::string entriesOf(const QByteArray &folder)
{
    return QDir(QFile::decodeName(folder))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
        .join(u' ')
        .toStdString();
}

bool haveReaders()
{
    Fixture fx;
    return run(Python, {"-c", "import html5lib, openpyxl"}, fx.path() + ".probe").status == 0
        && run("xmllint", {"--version"}, fx.path() + ".probe").status == 0;
}

// Names a file system may hand us that break naive writers, each with its own size.
const std::vector<QByteArray> HostileNames = {
    "plain.txt",
    "<script>alert(1)",
    "<img src=x onerror=alert(1)>",
    "line\nbreak",
    "carriage\rreturn",
    "tab\there",
    "comma,name.csv",
    "quote\"d 'single'.txt",
    "a&b&amp;.txt",
    "invalid\xff\xfe.bin",
    "=SUM(A1:A2)",
    "+cmd|' -C calc'!A0",
    "ten          spaces",
    "trailing space ",
    "ünïcødé 名前.txt",
};

} // namespace

TEST(CliExport, EveryFormatGivesEveryHostileNameAndSizeBack)
{
    ASSERT_TRUE(haveReaders()) << "python3 with html5lib and openpyxl, and xmllint, are needed: "
                                  "scripts/install-deps.sh installs them";
    Fixture fx;
    fx.makeFolder("top");
    fx.makeFolder("top/sub folder,&<");
    Pairs expected {{fx.at("top").toStdString(), ""}, {"sub folder,&<", ""}};
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < HostileNames.size(); ++i) {
        const std::uint64_t size = 100 + i;
        fx.makeFile("top/sub folder,&</" + HostileNames[i], size);
        // A name that is not UTF-8 reads as the window shows it, with U+FFFD.
        expected.emplace_back(QString::fromUtf8(HostileNames[i]).toStdString(), std::to_string(size));
        total += size;
    }
    expected[0].second = expected[1].second = std::to_string(total);
    std::sort(expected.begin(), expected.end());

    QTemporaryDir out;
    for (const char *kind : {"csv", "html", "xml", "xlsx"}) {
        const QByteArray file = QFile::encodeName(out.filePath(u"export."_qs + QString::fromLatin1(kind)));
        const CliRun r = runCli(fx, {"--quiet", "--format", kind, "--output", file, fx.at("top")});
        ASSERT_EQ(r.status, 0) << kind << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << kind << ": " << r.err.toStdString();
        QString problem;
        Pairs got = readBack(fx, kind, file, &problem);
        EXPECT_TRUE(problem.isEmpty()) << kind << ": " << problem.toStdString();
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected) << kind;
    }
    const CliRun lint =
        run("xmllint", {"--noout", QFile::encodeName(out.filePath(u"export.xml"_qs))}, fx.path() + ".lint");
    EXPECT_EQ(lint.status, 0) << lint.err.toStdString();
}

TEST(CliExport, ListsSortsAndStandardOutput)
{
    Fixture fx;
    fx.makeFolder("top");
    fx.makeFolder("top/b-folder");
    fx.makeFile("top/b-folder/inner", 1);
    fx.makeFile("top/small", 2);
    fx.makeFile("top/big", 30);
    fx.makeFile("top/medium", 10);

    const auto namesOf = [](const QByteArray &csv) {
        QStringList names;
        const QList<QByteArray> lines = csv.split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (!lines[i].isEmpty())
                names.append(QString::fromUtf8(lines[i].left(lines[i].indexOf(','))));
        }
        return names;
    };
    const struct
    {
        QList<QByteArray> args;
        QStringList names;
    } cases[] = {
        // The whole tree by name, folders first, each folder before its contents.
        {{},
            {QString::fromLocal8Bit(fx.at("top")), u"b-folder"_qs, u"inner"_qs, u"big"_qs, u"medium"_qs,
                u"small"_qs}},
        {{"--list", "folder", "--sort", "File Size", "--descending"},
            {u"b-folder"_qs, u"big"_qs, u"medium"_qs, u"small"_qs}},
        {{"--list", "folder", "--sort", "filesize"}, {u"b-folder"_qs, u"small"_qs, u"medium"_qs, u"big"_qs}},
    };
    for (const auto &c : cases) {
        QList<QByteArray> args = c.args;
        args << "--quiet"
             << "--format"
             << "csv" << fx.at("top");
        const CliRun r = runCli(fx, args);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(namesOf(r.out), c.names) << args.join(' ').toStdString();
    }

    // The summary stays on standard error; the page title of standard output is fixed.
    const CliRun page = runCli(fx, {"--format", "html", fx.at("top")});
    EXPECT_EQ(page.status, 0);
    EXPECT_TRUE(page.out.contains("<H5 Align=center>folvane</H5>"));
    EXPECT_TRUE(page.err.startsWith("Scanned 5 entries")) << page.err.toStdString();
    // The range columns are filled, as the window fills them.
    const CliRun xml = runCli(fx, {"--quiet", "--format", "xml", fx.at("top")});
    EXPECT_TRUE(xml.out.contains("SizeRange=\"")) << xml.out.left(400).toStdString();
}

// A configuration that lists the Disk Usage column exports the space each entry takes,
// and --sort "Disk Usage" orders by it: a sparse file of the largest size comes last.
TEST(CliExport, DiskUsageIsExportedAndSortedWhenListed)
{
    Fixture fx;
    fx.makeFolder("top");
    fx.makeFile("top/sparse", 1 << 20);
    const auto writeData = [&fx](const QByteArray &name, int bytes) {
        QFile file(QString::fromLocal8Bit(fx.at(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(bytes, 'x'));
        file.flush();
        ::fsync(file.handle());
    };
    writeData("top/one", 1);
    writeData("top/two", 64 * 1024);
    QFile config(QString::fromLocal8Bit(fx.path() + ".config.xml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("<config versionNo=\"2\"><nodes>"
                 "<node Name=\"File Name\" Visible=\"True\" Index=\"0\" DefaultExport=\"True\" Width=\"90\" "
                 "ReadOnly=\"True\" Align=\"left\"/>"
                 "<node Name=\"Disk Usage\" Visible=\"True\" Index=\"1\" DefaultExport=\"True\" Width=\"84\" "
                 "ReadOnly=\"False\" Align=\"right\"/>"
                 "</nodes><agerange/><sizerange/></config>");
    config.close();

    const CliRun r = runCli(fx,
        {"--quiet", "--format", "csv", "--list", "folder", "--sort", "Disk Usage", "--descending",
            fx.at("top")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const auto blocks = [&fx](const char *name) {
        struct stat st
        { };
        EXPECT_EQ(::stat(fx.at(name).constData(), &st), 0);
        return QByteArray::number(qlonglong(st.st_blocks) * 512);
    };
    EXPECT_EQ(r.out,
        "File Name,Disk Usage\r\ntwo," + blocks("top/two") + "\r\none," + blocks("top/one") + "\r\nsparse,"
            + blocks("top/sparse") + "\r\n");
}

TEST(CliExport, WrongOptionsAndFailedWritesLeaveNothingBehind)
{
    Fixture fx;
    fx.makeFolder("top");
    fx.makeFile("top/a", 1);
    fx.makeFolder("out");
    fx.makeFile("out/old.csv", 3);
    const QByteArray old = readAll(fx.at("out/old.csv"));

    const struct
    {
        QList<QByteArray> args;
        int status;
        const char *says;
    } cases[] = {
        {{"--format", "pdf"}, 2, "unknown format 'pdf'"},
        {{"--format", "csv", "--list", "all"}, 2, "unknown list 'all'"},
        {{"--format", "csv", "--sort", "Colour"}, 2, "unknown column 'Colour'"},
        {{"--format", "xlsx"}, 2, "xlsx needs --output FILE"},
        {{"--output", fx.at("out/x.unknown")}, 2, "--format is needed"},
        {{"--sort", "File Size"}, 2, "--format is needed"},
        {{"--format", "csv", "--output", fx.at("missing/x.csv")}, 1, "No such file or directory"},
        {{"--output", fx.at("out")}, 2, "--format is needed"},
        {{"--format", "xml", "--output", fx.at("out")}, 1, "not a regular file"},
        {{"--format", "xlsx", "--output", fx.at("missing/x.xlsx")}, 1, "cannot write"},
    };
    for (const auto &c : cases) {
        QList<QByteArray> args = c.args;
        args << "--quiet" << fx.at("top");
        const CliRun r = runCli(fx, args);
        EXPECT_EQ(r.status, c.status) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(fx.at("missing"))));
    EXPECT_EQ(QDir(QString::fromLocal8Bit(fx.at("out"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList {u"old.csv"_qs});
    EXPECT_EQ(readAll(fx.at("out/old.csv")), old);

    // A full disk behind standard output is an error, not a silent success.
    const CliRun full = runCli(fx, {"--quiet", "--format", "csv", fx.at("top")}, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(full.err.contains("cannot write to standard output: No space left on device"))
        << full.err.toStdString();
}

TEST(CliExport, AFailedWorkbookIsOneLineWithTheSystemsReason)
{
    Fixture fx;
    fx.makeFolder("top");
    fx.makeFile("top/a", 1);
    fx.makeFolder("out");
    const QByteArray file = fx.at("out/usage.xlsx");
    // Few descriptors make libxlsxwriter fail at one stage or another: its temporary
    // files, the workbook itself. Whatever stage, one line says so, with the reason.
    int failed = 0;
    for (rlim_t descriptors = 4; descriptors <= 9; ++descriptors) {
        SCOPED_TRACE(descriptors);
        const CliRun r =
            runCli(fx, {"--quiet", "--format", "xlsx", "--output", file, fx.at("top")}, nullptr, descriptors);
#ifdef FOLVANE_SANITIZED
        // The sanitizers' own checks need descriptors of their own (a pipe); short of
        // them, they report errors that are not there and end the program.
        if (r.err.contains("runtime error:") || (r.status != 0 && r.status != 1))
            continue;
#endif
        for (const QByteArray &line : r.err.trimmed().split('\n')) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(line.startsWith("folvane-cli: ")) << r.err.toStdString();
            }
        }
        if (r.status == 0) {
            EXPECT_TRUE(QFile::exists(QString::fromLocal8Bit(file)));
            continue;
        }
        ++failed;
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith("folvane-cli: cannot write " + file + ": Too many open files\n"))
            << r.err.toStdString();
        EXPECT_EQ(r.err.count("cannot write"), 1) << r.err.toStdString();
        EXPECT_EQ(entriesOf(fx.at("out")), "");
    }
    EXPECT_GE(failed, 1);
}

TEST(CliExport, ACatalogTooDeepForSomeReadersIsWrittenWithAWarning)
{
    Fixture fx;
    fx.makeFolderChain("top", 256);
    const QByteArray file = fx.path() + ".xml";
    const CliRun r = runCli(fx, {"--quiet", "--format", "xml", "--output", file, fx.at("top")});
    ::unlink(file.constData());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err,
        "folvane-cli: warning: the XML catalog nests entries 256 levels below its top; readers built on "
        "libxml2, such as xmllint, refuse more than 255 unless told to accept huge documents (xmllint "
        "--huge)\n");
}

TEST(CliExport, AnInterruptedExportLeavesNothingBehind)
{
    // Enough rows that the workbook is still being written when it is caught at it.
    Fixture fx("/dev/shm");
    fx.makeFolder("top");
    for (int i = 0; i < 20000; ++i)
        fx.makeFile("top/file " + QByteArray::number(i), 100);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(::strsignal(signal));
        QTemporaryDir out;
        const QByteArray folder = QFile::encodeName(out.path());
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, folder.constData(), IN_CREATE), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::close_range(3, ~0u, 0);
            QByteArray config = fx.path() + ".config.xml", output = folder + "/usage.xlsx",
                       top = fx.at("top");
            char *argv[] = {const_cast<char *>(FOLVANE_CLI), const_cast<char *>("--config"), config.data(),
                const_cast<char *>("--format"), const_cast<char *>("xlsx"), const_cast<char *>("--output"),
                output.data(), top.data(), nullptr};
            ::execv(FOLVANE_CLI, argv);
            ::_exit(127);
        }
        // The moment the file beside the target appears, the program is held there.
        bool caught = false;
        alignas(struct inotify_event) char events[4096];
        struct pollfd ready = {watch, POLLIN, 0};
        while (!caught && ::poll(&ready, 1, 60000) == 1) {
            const ssize_t n = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; n > 0 && at < n;) {
                const auto *event = reinterpret_cast<const struct inotify_event *>(events + at);
                if (event->len > 0 && std::strstr(event->name, ".new-"))
                    caught = ::kill(pid, SIGSTOP) == 0;
                at += ssize_t(sizeof(struct inotify_event) + event->len);
            }
        }
        ::close(watch);
        const std::string during = entriesOf(folder);
        ::kill(pid, signal);
        ::kill(pid, SIGCONT);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(caught);
        ASSERT_NE(during.find(".new-"), std::string::npos)
            << "the export ended before it was caught: " << during;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(entriesOf(folder), "");
    }
}
