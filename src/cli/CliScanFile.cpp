#include "CliScanFile.h"

#include "ScanFileWriter.h"
#include "ScanReport.h"
#include "TerminalText.h"

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

int OpenScanFiles(
    const QList<QByteArray> &files, const ScanFileOptions &options, std::shared_ptr<CatalogTree> &tree)
{
    for (const QByteArray &file : files) {
        ScanFileResult read = ReadScanFile(file, options);
        if (!read.tree) {
            std::fprintf(
                stderr, "folvane-cli: cannot open scan file %s\n", TerminalText(read.error).constData());
            return ExitUnreadable;
        }
        tree = std::move(read.tree);
    }
    return ExitComplete;
}
