// folvane-cli: the scan without a window, for scripts, servers and benchmarks.

#include "CatalogText.h"
#include "CliConfig.h"
#include "CliExport.h"
#include "FolderScanner.h"
#include "ScanReport.h"
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

namespace {

void printUsage(std::FILE *to)
{
    std::fputs("Usage: folvane-cli [--quiet] [--config FILE] [--threads N] [--one-file-system]\n"
               "                   [--count-links-once] [EXPORT OPTIONS] FOLDER\n"
               "Scans FOLDER and everything below it and prints a summary on standard error.\n"
               "\n"
               "  --quiet              print nothing on success\n"
               "  --config FILE        use FILE as the configuration instead of FolvaneConfig.xml\n"
               "                       beside the program or in the user's configuration folder\n"
               "  --threads N          read folders on N threads at once (N >= 1; default: one\n"
               "                       per core; 1 reads them one after the other)\n"
               "  --one-file-system    do not descend into folders on another file system than\n"
               "                       FOLDER's (they are counted as empty folders)\n"
               "  --count-links-once   count the size of a file with several hard links once\n"
               "  --help               show this text\n"
               "\n"
               "Export options (the columns are the visible ones of the configuration):\n"
               "  --format FORMAT      csv, text, html, xml or xlsx; without it the name given\n"
               "                       to --output decides by its extension\n"
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


int run(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Folvane"));

    bool quiet = false;
    bool optionsEnded = false;
    QByteArray folder;
    bool haveFolder = false;
    QByteArray configFile;
    CliExportOptions exportOptions;
    bool haveFormat = false;
    bool exportAsked = false;
    const auto usageError = [](const QByteArray &message) {
        std::fprintf(stderr, "folvane-cli: %s\n", TerminalText(message).constData());
        printUsage(stderr);
        return ExitUsage;
    };
    unsigned threads = 0;
    bool oneFileSystem = false;
    bool countLinksOnce = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--quiet") {
            quiet = true;
        } else if (!optionsEnded && arg == "--config") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "folvane-cli: --config needs a FILE\n");
                printUsage(stderr);
                return ExitUsage;
            }
            configFile = argv[++i];
        } else if (!optionsEnded
                   && (arg == "--format" || arg == "--output" || arg == "--list" || arg == "--sort")) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usageError(arg + " needs a value");
            const QByteArray value(argv[++i]);
            exportAsked = true;
            if (arg == "--format") {
                if (!ParseExportFormat(value, exportOptions.format))
                    return usageError("unknown format '" + value + "' (csv, text, html, xml or xlsx)");
                haveFormat = true;
            } else if (arg == "--output") {
                exportOptions.output = value;
            } else if (arg == "--list") {
                if (!ParseExportList(value, exportOptions.list))
                    return usageError("unknown list '" + value + "' (tree or folder)");
            } else if (!ParseSortColumn(value, exportOptions.sortField)) {
                return usageError("unknown column '" + value + "'; columns are " + SortColumnNames());
            }
        } else if (!optionsEnded && arg == "--descending") {
            exportOptions.descending = true;
            exportAsked = true;
        } else if (!optionsEnded && arg == "--one-file-system") {
            oneFileSystem = true;
        } else if (!optionsEnded && arg == "--count-links-once") {
            countLinksOnce = true;
        } else if (!optionsEnded && arg == "--threads") {
            bool ok = false;
            const uint value = i + 1 < argc ? QByteArray(argv[i + 1]).toUInt(&ok) : 0;
            if (!ok || value < 1) {
                std::fprintf(stderr, "folvane-cli: --threads needs a number N >= 1\n");
                printUsage(stderr);
                return ExitUsage;
            }
            threads = value;
            ++i;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            printUsage(stdout);
            return 0;
        } else if (!optionsEnded && arg.startsWith('-') && arg.size() > 1) {
            std::fprintf(stderr, "folvane-cli: unknown option '%s'\n", TerminalText(arg).constData());
            printUsage(stderr);
            return ExitUsage;
        } else if (!haveFolder) {
            folder = arg;
            haveFolder = true;
        } else {
            std::fprintf(stderr, "folvane-cli: only one FOLDER may be given\n");
            printUsage(stderr);
            return ExitUsage;
        }
    }
    if (!haveFolder) {
        printUsage(stderr);
        return ExitUsage;
    }
    if (exportAsked && !haveFormat) {
        if (exportOptions.toStandardOutput())
            return usageError("--format is needed to export to standard output");
        exportOptions.format = FormatOfOutput(exportOptions.output);
        if (exportOptions.format == CliExportOptions::Format::None)
            return usageError("--format is needed: the name of --output does not tell the format");
    }
    if (exportOptions.format == CliExportOptions::Format::Xlsx && exportOptions.toStandardOutput())
        return usageError("xlsx needs --output FILE");
    if (!exportOptions.toStandardOutput()
        && QFile::encodeName(QFile::decodeName(exportOptions.output)) != exportOptions.output)
        return usageError("the --output name is not valid in this system's encoding");

    struct stat st;
    if (::stat(folder.constData(), &st) != 0) {
        const int error = errno;
        std::fprintf(stderr, "folvane-cli: %s: %s\n", TerminalText(folder).constData(), std::strerror(error));
        // A folder that is not there is a wrong argument; one that is there but cannot
        // be reached (permissions, loops, overlong names) cannot be read.
        return error == ENOENT || error == ENOTDIR ? ExitUsage : ExitUnreadable;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "folvane-cli: %s: not a folder\n", TerminalText(folder).constData());
        return ExitUsage;
    }

    LoadCliConfig(configFile);

    const bool showProgress = !quiet && ::isatty(STDERR_FILENO);
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastShown{};
    ScanOptions options;
    options.threads = threads;
    options.oneFileSystem = oneFileSystem;
    options.countHardLinksOnce = countLinksOnce;
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
    const int status = ReportScan(stderr, result, seconds, quiet);
    if (status == ExitUnreadable)
        return status;
    const int exported = ExportScan(result.tree, exportOptions);
    return exported != ExitComplete ? exported : status;
}

} // namespace

int main(int argc, char **argv)
{
    CatalogText::AvoidZoneFileChecks();
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
