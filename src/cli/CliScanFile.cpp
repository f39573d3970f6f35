#include "CliScanFile.h"

#include "ScanCompare.h"
#include "ScanFileWriter.h"
#include "ScanMerge.h"
#include "ScanReport.h"

#include "TerminalText.h"
#include <vector>

#include <cstdio>
#include <unistd.h>

int SaveScanFile(const CatalogTree &tree, const CliExportOptions &options)
{
    if (tree.isEmpty())
        return ExitComplete;
    const QString error =
        options.toStandardOutput() ? WriteScanFile(tree, STDOUT_FILENO) : WriteScanFile(tree, options.output);
    if (error.isEmpty())
        return ExitComplete;
    const QByteArray target =
        options.toStandardOutput() ? QByteArrayLiteral("to standard output") : TerminalText(options.output);
    std::fprintf(
        stderr, "folvane-cli: cannot write %s: %s\n", target.constData(), TerminalText(error).constData());
    return ExitUnreadable;
}

namespace {

std::shared_ptr<CatalogTree> readOrSay(
    const QByteArray &file, const ScanFileOptions &options, QByteArray &host)
{
    ScanFileResult read = ReadScanFile(file, options);
    if (!read.tree)
        std::fprintf(stderr, "folvane-cli: cannot open scan file %s\n", TerminalText(read.error).constData());
    host = read.metadata.hostname;
    return read.tree;
}

} // namespace

int OpenScanFiles(
    const QList<QByteArray> &files, const ScanFileOptions &options, std::shared_ptr<CatalogTree> &tree)
{
    std::vector<MergedScan> scans;
    for (const QByteArray &file : files) {
        QByteArray host;
        std::shared_ptr<CatalogTree> read = readOrSay(file, options, host);
        if (!read)
            return ExitUnreadable;
        const QByteArray label = ScanLabel(host, file, read->nameBytes(read->top()).toByteArray());
        scans.push_back({std::move(read), label});
    }
    if (scans.size() == 1)
        tree = std::const_pointer_cast<CatalogTree>(scans.front().tree);
    else
        tree = MergeScans(scans, options.ranges);
    return ExitComplete;
}

int CompareWithScanFile(const QByteArray &earlierFile, const ScanFileOptions &options, bool hideRemoved,
    bool quiet, std::shared_ptr<CatalogTree> &tree)
{
    QByteArray host;
    const std::shared_ptr<CatalogTree> earlier = readOrSay(earlierFile, options, host);
    if (!earlier)
        return ExitUnreadable;
    tree = CompareScans(*tree, *earlier, {hideRemoved, options.ranges});
    if (quiet)
        return ExitComplete;
    std::uint64_t counts[5] = {};
    const ScanComparison &c = *tree->comparison();
    for (const EntryChange change : c.change)
        ++counts[std::size_t(change)];
    std::fprintf(stderr, "Compared with %s: %lld bytes (%llu new, %llu removed, %llu grown, %llu shrunk)\n",
        TerminalText(earlierFile).constData(), static_cast<long long>(c.sizeChange[0]),
        static_cast<unsigned long long>(counts[std::size_t(EntryChange::New)]),
        static_cast<unsigned long long>(counts[std::size_t(EntryChange::Removed)]),
        static_cast<unsigned long long>(counts[std::size_t(EntryChange::Grown)]),
        static_cast<unsigned long long>(counts[std::size_t(EntryChange::Shrunk)]));
    return ExitComplete;
}
