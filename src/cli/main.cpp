// folvane-cli: the scan without a window, for scripts, servers and benchmarks.

#include "CatalogTree.h"
#include "FolderScanner.h"
#include "CliConfig.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ExitUsage = 2;

void printUsage(std::FILE *to)
{
    std::fputs("Usage: folvane-cli [--quiet] [--config FILE] FOLDER\n"
               "Scans FOLDER and everything below it and prints a summary on standard error.\n"
               "\n"
               "  --quiet          print nothing on success\n"
               "  --config FILE    use FILE as the configuration instead of FolvaneConfig.xml\n"
               "                   beside the program or in the user's configuration folder\n"
               "  --help           show this text\n",
               to);
}

struct Counts
{
    std::uint64_t entries = 0;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
};

Counts countNodes(const CatalogTree &tree)
{
    Counts c;
    for (NodeIndex n = 1; n < tree.nodeCount(); ++n) {
        ++c.entries;
        if (tree.isFile(n))
            ++c.files;
        else if (tree.isFolder(n))
            ++c.folders;
    }
    return c;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Folvane"));

    bool quiet = false;
    bool optionsEnded = false;
    QByteArray folder;
    bool haveFolder = false;
    QByteArray configFile;
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
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            printUsage(stdout);
            return 0;
        } else if (!optionsEnded && arg.startsWith('-') && arg.size() > 1) {
            std::fprintf(stderr, "folvane-cli: unknown option '%s'\n", arg.constData());
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

    struct stat st;
    if (::stat(folder.constData(), &st) != 0) {
        std::fprintf(stderr, "folvane-cli: %s: no such folder\n", folder.constData());
        return ExitUsage;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "folvane-cli: %s: not a folder\n", folder.constData());
        return ExitUsage;
    }

    LoadCliConfig(configFile);

    const bool showProgress = !quiet && ::isatty(STDERR_FILENO);
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastShown{};
    ScanOptions options;
    if (showProgress) {
        options.progress = [&lastShown](std::uint64_t entries) {
            const auto now = Clock::now();
            if (now - lastShown < std::chrono::milliseconds(100))
                return;
            lastShown = now;
            std::fprintf(stderr, "\rScanning: %llu entries", static_cast<unsigned long long>(entries));
            std::fflush(stderr);
        };
    }

    CatalogTree tree;
    const auto started = Clock::now();
    ScanFolder(tree, folder, options);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    if (showProgress)
        std::fputs("\r\033[K", stderr);
    if (!quiet) {
        const Counts c = countNodes(tree);
        std::fprintf(stderr, "Scanned %llu entries (%llu files, %llu folders), %llu bytes in %.3f s\n",
                     static_cast<unsigned long long>(c.entries),
                     static_cast<unsigned long long>(c.files),
                     static_cast<unsigned long long>(c.folders),
                     static_cast<unsigned long long>(tree.node(tree.top()).size), seconds);
    }
    return 0;
}
