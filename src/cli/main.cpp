// folvane-cli: the scan without a window, for scripts, servers and benchmarks.

#include "CatalogText.h"
#include "CliConfig.h"
#include "CliExport.h"
#include "CliScanFile.h"
#include "CommandLine.h"
#include "FolderScanner.h"
#include "RangeStatistics.h"
#include "SafeFile.h"
#include "ScanFileReader.h"
#include "ScanReport.h"
#include "TConfig.h"
#include "TemporaryFiles.h"
#include "TerminalText.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

#ifndef FOLVANE_VERSION
#define FOLVANE_VERSION "unknown"
#endif

namespace {

void printUsage(std::FILE *to)
{
    std::fputs("Usage: folvane-cli [--quiet] [--config FILE] [--threads N] [--one-file-system]\n"
               "                   [--count-links-once] [EXPORT OPTIONS] FOLDER\n"
               "       folvane-cli [--quiet] [--config FILE] [--count-links-once] [EXPORT OPTIONS]\n"
               "                   --from FILE [--from FILE ...]\n"
               "Scans FOLDER and everything below it, or opens the scan files given with --from\n"
               "(written by folvane-cli, ncdu -o or gdu -o; several are merged), and prints a\n"
               "summary on standard error.\n"
               "\n"
               "  --quiet              print nothing on success\n"
               "  --config FILE        use FILE as the configuration instead of FolvaneConfig.xml\n"
               "                       beside the program or in the user's configuration folder\n"
               "  --threads N          read folders on N threads at once (N >= 1; default: one\n"
               "                       per core, up to 16 while they wait for the disk; 1 reads\n"
               "                       them one after the other)\n"
               "  --one-file-system    do not descend into folders on another file system than\n"
               "                       FOLDER's (they are counted as empty folders)\n"
               "  --count-links-once   count the size of a file with several hard links once\n"
               "  --compare OLD        compare with the earlier scan file OLD: the fields\n"
               "                       \"Size Change\" and \"Change\" are filled and exported, and\n"
               "                       entries only in OLD come back as removed ones\n"
               "  --hide-removed       leave the removed entries of a comparison out\n"
               "  --from FILE          open the scan file FILE (\"-\": standard input; plain or\n"
               "                       gzip) instead of scanning; repeat it to merge several\n"
               "  --help               show this text\n"
               "  --version            show the version number\n"
               "\n"
               "Export options (the columns are the visible ones of the configuration):\n"
               "  --format FORMAT      csv, text, html, xml or xlsx; without it the name given\n"
               "                       to --output decides by its extension; ncdu (or a name\n"
               "                       ending in .json or .json.gz) saves the whole scan as\n"
               "                       a scan file that folvane, ncdu -f and gdu -f open\n"
               "  --output FILE        write the export to FILE (needed for xlsx); without it,\n"
               "                       or with \"-\", the export goes to standard output\n"
               "  --list LIST          tree: every entry, each folder before its contents\n"
               "                       (default); folder: the entries of FOLDER itself\n"
               "  --sort COLUMN        order of the entries of each folder, by a column name\n"
               "                       such as \"File Size\" (default \"File Name\"); folders\n"
               "                       come first\n"
               "  --descending         sort in descending order\n"
               "\n"
               "Exit status: 0 complete; 1 FOLDER cannot be read or the export cannot be\n"
               "written; 2 wrong command line or FOLDER is not a folder; 3 the scan stopped\n"
               "short (the figures are incomplete; what was found is still exported).\n",
        to);
}

// The size and age ranges an export classifies by, when one is asked for.
std::optional<RangeBounds> exportRanges(const CliOptions &cli, QStringList &rangeProblems)
{
    if (!cli.exportOptions.format)
        return std::nullopt;
    return BoundsOf(LoadRanges(GetConfig().Document(), &rangeProblems));
}

// Writes what was asked for of a finished tree, compared with an earlier scan when
// asked: a list export or the scan file.
int exportTree(std::shared_ptr<CatalogTree> tree, const CliOptions &cli, const QStringList &rangeProblems,
    const std::optional<RangeBounds> &ranges)
{
    if (tree && !cli.compareWith.isEmpty()) {
        ScanFileOptions options;
        options.countHardLinksOnce = cli.countLinksOnce;
        options.ranges = ranges;
        const int compared = CompareWithScanFile(cli.compareWith, options, cli.hideRemoved, cli.quiet, tree);
        if (compared != ExitComplete)
            return compared;
    }
    if (cli.exportOptions.scanFile)
        return tree ? SaveScanFile(*tree, cli.exportOptions) : ExitComplete;
    return ExportScan(tree, cli.exportOptions, rangeProblems);
}

int runFromFiles(const CliOptions &cli)
{
    LoadCliConfig(cli.configFile);
    QStringList rangeProblems;
    ScanFileOptions options;
    options.countHardLinksOnce = cli.countLinksOnce;
    options.ranges = exportRanges(cli, rangeProblems);
    const auto started = std::chrono::steady_clock::now();
    ScanResult result;
    const int opened = OpenScanFiles(cli.fromFiles, options, result.tree);
    if (opened != ExitComplete)
        return opened;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int status = ReportScan(stderr, result, seconds, cli.quiet, "Opened");
    const int exported = exportTree(result.tree, cli, rangeProblems, options.ranges);
    return exported != ExitComplete ? exported : status;
}

int runScan(const CliOptions &cli)
{
    const QByteArray &folder = cli.folder;
    struct stat st;
    if (::stat(folder.constData(), &st) != 0) {
        const int error = errno;
        std::fprintf(stderr, "folvane-cli: %s: %s\n", TerminalText(folder).constData(),
            SafeFile::reason(error).toLocal8Bit().constData());
        // A folder that is not there is a wrong argument; one that is there but cannot
        // be reached (permissions, loops, overlong names) cannot be read.
        return error == ENOENT || error == ENOTDIR ? ExitUsage : ExitUnreadable;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "folvane-cli: %s: not a folder\n", TerminalText(folder).constData());
        return ExitUsage;
    }

    LoadCliConfig(cli.configFile);

    const bool showProgress = !cli.quiet && ::isatty(STDERR_FILENO);
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastShown {};
    ScanOptions options;
    options.threads = cli.threads;
    options.oneFileSystem = cli.oneFileSystem;
    options.countHardLinksOnce = cli.countLinksOnce;
    // The range columns of an export read the classification the scan makes as it
    // ends, as in the window; what reading the ranges met is said after the report.
    QStringList rangeProblems;
    options.ranges = exportRanges(cli, rangeProblems);
    if (showProgress) {
        options.progress = [&lastShown](std::uint64_t entries, const QByteArray &) {
            const auto now = Clock::now();
            if (now - lastShown < std::chrono::milliseconds(100))
                return;
            lastShown = now;
            std::fprintf(stderr, "\rScanning: %llu entries", static_cast<unsigned long long>(entries));
            std::fflush(stderr);
        };
    }

    const auto started = Clock::now();
    const ScanResult result = ScanFolder(folder, options);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    if (showProgress)
        std::fputs("\r\033[K", stderr);
    const int status = ReportScan(stderr, result, seconds, cli.quiet);
    if (status == ExitUnreadable)
        return status;
    const int exported = exportTree(result.tree, cli, rangeProblems, options.ranges);
    return exported != ExitComplete ? exported : status;
}

int run(int argc, char **argv)
{
    // Made first: it sets the locale that the reading of names depends on.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Folvane"));

    const std::variant<CliOptions, UsageError> command = ReadCommandLine(argc, argv);
    if (const UsageError *error = std::get_if<UsageError>(&command)) {
        if (!error->message.isEmpty())
            std::fprintf(stderr, "folvane-cli: %s\n", TerminalText(error->message).constData());
        printUsage(stderr);
        return error->status;
    }
    const CliOptions &cli = std::get<CliOptions>(command);
    if (cli.help) {
        printUsage(stdout);
        return 0;
    }
    if (cli.version) {
        std::puts("folvane-cli " FOLVANE_VERSION);
        return 0;
    }
    return cli.fromFiles.isEmpty() ? runScan(cli) : runFromFiles(cli);
}

} // namespace

int main(int argc, char **argv)
{
    CatalogText::AvoidZoneFileChecks();
    // Ctrl+C in the middle of a long export must not leave its file half written.
    TemporaryFiles::RemoveOnSignals();
    // Whatever runs out, the program ends with a message and a status, never an abort.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fputs("folvane-cli: out of memory\n", stderr);
        return ExitStoppedShort;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "folvane-cli: %s\n", TerminalText(e.what()).constData());
        return ExitUnreadable;
    }
}
