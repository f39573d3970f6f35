#include "ScanReport.h"

#include "SafeFile.h"
#include "ScanCounts.h"
#include "TerminalText.h"

#include <QByteArray>

#include <cstring>
#include <new>

namespace {

// Unread folders named in the warning; the rest are counted.
constexpr std::size_t NamedUnreadable = 3;

// The path of a node for a terminal; a path cannot be made when memory is short.
QByteArray pathText(const CatalogTree &tree, NodeIndex n)
{
    try {
        return TerminalText(tree.fullPathBytes(n));
    } catch (const std::bad_alloc &) {
        return QByteArrayLiteral("(a folder: out of memory for its path)");
    }
}

void warnUnreadable(std::FILE *to, const CatalogTree &tree)
{
    const auto &unread = tree.unreadableFolders();
    const std::uint64_t count = CountScan(tree).unreadableFolders;
    if (count == 0)
        return;
    QByteArray line = QByteArray::number(qulonglong(count))
        + (count == 1 ? " folder could not be read: " : " folders could not be read: ");
    std::uint64_t named = 0;
    for (const auto &[node, error] : unread) {
        if (node == tree.top())
            continue;
        if (named == NamedUnreadable)
            break;
        if (named++ > 0)
            line += ", ";
        line += pathText(tree, node) + " (" + SafeFile::reason(error).toLocal8Bit().constData() + ')';
    }
    if (count > named)
        line += " and " + QByteArray::number(qulonglong(count - named)) + " more";
    std::fprintf(to, "folvane-cli: warning: %s\n", line.constData());
}

} // namespace

int ReportScan(std::FILE *to, const ScanResult &result, double seconds, bool quiet, const char *verb)
{
    if (!result.tree) {
        std::fprintf(to, "folvane-cli: %s\n", ScanStopText(result.stop));
        return ExitStoppedShort;
    }
    const CatalogTree &tree = *result.tree;
    if (result.stop == ScanStop::TopUnreadable) {
        std::fprintf(to, "folvane-cli: cannot read %s: %s\n", pathText(tree, tree.top()).constData(),
            SafeFile::reason(result.error).toLocal8Bit().constData());
        return ExitUnreadable;
    }

    if (!quiet) {
        const ScanCounts c = CountScan(tree);
        // Entries of no known kind are named, so that the counts add up to the entries.
        const QByteArray unknown = c.unknownKind == 0
            ? QByteArray()
            : ", " + QByteArray::number(qulonglong(c.unknownKind)) + " of unknown kind";
        std::fprintf(to, "%s %llu entries (%llu files, %llu folders%s), %llu bytes in %.3f s\n", verb,
            static_cast<unsigned long long>(c.entries), static_cast<unsigned long long>(c.files),
            static_cast<unsigned long long>(c.folders), unknown.constData(),
            static_cast<unsigned long long>(tree.node(tree.top()).size), seconds);
    }
    warnUnreadable(to, tree);
    if (tree.isSizeSaturated(tree.top())) {
        std::fprintf(to,
            "folvane-cli: warning: the total is too large to count: it and every folder "
            "total that reached %llu bytes stopped there\n",
            static_cast<unsigned long long>(SaturatedSize));
    }
    if (result.complete())
        return ExitComplete;

    QByteArray reason = ScanStopText(result.stop);
    if (result.error != 0)
        reason += QByteArray(" (") + SafeFile::reason(result.error).toLocal8Bit().constData() + ')';
    std::fprintf(to,
        "folvane-cli: warning: the scan stopped short, %s, at %s: the figures above are incomplete\n",
        reason.constData(), pathText(tree, result.stoppedAt).constData());
    return ExitStoppedShort;
}
