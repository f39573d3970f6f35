// folvane-edit-bench: what the edits of a scan's tree cost on a large tree, against
// what they spare: removing one file (CatalogTree::removeEntries) and reading one
// folder of about a thousand entries again (its scan, then replaceFolder), each with
// the Total Tree's order brought up to date (TreeOrder::update), beside a whole scan
// and a whole sort of the same tree. Nothing on disk is changed.
//
//   folvane-edit-bench [--rounds N] [--folder-entries N] TREE

#include "BenchTree.h"
#include "CatalogFields.h"
#include "CatalogTree.h"
#include "FolderScanner.h"
#include "TreeOrder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double largest(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

void usage()
{
    std::fprintf(stderr, "usage: folvane-edit-bench [--rounds N] [--folder-entries N] TREE\n");
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = 20;
    std::uint32_t folderEntries = 1000;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--folder-entries") && i + 1 < argc)
            folderEntries = std::uint32_t(std::max(1, std::atoi(argv[++i])));
        else if (argv[i][0] == '-' || path)
            usage();
        else
            path = argv[i];
    }
    if (!path)
        usage();

    auto start = Clock::now();
    ScanResult scanned = ScanFolder(path);
    const double scanSeconds = secondsSince(start);
    if (!scanned.complete() || !scanned.tree) {
        std::fprintf(
            stderr, "folvane-edit-bench: the scan of %s stopped: %s\n", path, ScanStopText(scanned.stop));
        return 1;
    }
    CatalogTree &tree = *scanned.tree;
    const std::size_t entries = tree.nodeCount() - 1;
    const std::size_t memoryBefore = tree.memoryBytes();
    TreeOrder order(tree);
    start = Clock::now();
    order.sortBy(tree, FileName, Qt::AscendingOrder);
    const double sortSeconds = secondsSince(start);
    std::printf("entries %zu\n", entries);
    std::printf("whole_scan_s %.3f\n", scanSeconds);
    std::printf("whole_sort_by_name_s %.3f\n", sortSeconds);

    // One file at a time, chosen at random: the cost follows the size of its folder.
    std::vector<NodeIndex> files;
    for (NodeIndex n = 1; n < tree.nodeCount(); ++n) {
        if (tree.isFile(n))
            files.push_back(n);
    }
    std::mt19937 random(1);
    std::shuffle(files.begin(), files.end(), random);
    std::vector<double> removeMs, orderMs;
    // What a removal moves: the other entries of the file's folder; and the entries
    // below those, which it points at their new slots.
    std::uint64_t slowestMoved = 0, slowestBelow = 0;
    const auto removeOne = [&](NodeIndex file) {
        const NodeIndex folder = tree.parent(file);
        std::uint64_t below = 0;
        for (std::uint32_t r = 0; r < tree.childCount(folder); ++r)
            below += tree.childCount(tree.child(folder, r));
        start = Clock::now();
        const std::vector<NodeIndex> changed = tree.removeEntries({file});
        removeMs.push_back(secondsSince(start) * 1e3);
        if (removeMs.back() >= largest(removeMs)) {
            slowestMoved = tree.childCount(folder);
            slowestBelow = below;
        }
        start = Clock::now();
        order.update(tree, changed, FileName, Qt::AscendingOrder);
        orderMs.push_back(secondsSince(start) * 1e3);
    };
    for (int r = 0; r < rounds && std::size_t(r) < files.size(); ++r) {
        if (const NodeIndex file = tree.successor(files[std::size_t(r)]); file != NoNode)
            removeOne(file);
    }
    std::printf(
        "remove_one_file_ms median %.4f max %.4f (%zu files at random; the slowest moved %llu entries "
        "and re-pointed %llu below them)\n",
        median(removeMs), largest(removeMs), removeMs.size(), static_cast<unsigned long long>(slowestMoved),
        static_cast<unsigned long long>(slowestBelow));
    // The first update after a scan grows the order's arrays past the scan's size.
    const std::vector<double> laterOrderMs(orderMs.begin() + (orderMs.empty() ? 0 : 1), orderMs.end());
    std::printf("tree_order_update_after_removal_ms first %.4f, then median %.4f max %.4f\n",
        orderMs.empty() ? 0.0 : orderMs.front(), median(laterOrderMs), largest(laterOrderMs));

    // The worst case of one file: one of the folder with the most entries of its own.
    NodeIndex crowded = NoNode;
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n) {
        if (tree.isFolder(n) && (crowded == NoNode || tree.childCount(n) > tree.childCount(crowded)))
            crowded = n;
    }
    NodeIndex file = NoNode;
    for (std::uint32_t r = 0; file == NoNode && r < tree.childCount(crowded); ++r) {
        if (tree.isFile(tree.child(crowded, r)))
            file = tree.child(crowded, r);
    }
    if (file != NoNode) {
        const std::uint32_t siblings = tree.childCount(crowded);
        removeMs.clear();
        orderMs.clear();
        removeOne(file);
        std::printf(
            "remove_one_file_of_the_largest_folder_ms %.4f, tree_order_update_ms %.4f (%u entries in it)\n",
            removeMs.back(), orderMs.back(), siblings);
    }

    // The same folder read again and put in place, round after round.
    const NodeIndex folder = FolderOfAbout(tree, folderEntries);
    if (folder == NoNode) {
        std::fprintf(stderr, "folvane-edit-bench: no folder to read again\n");
        return 1;
    }
    const QByteArray folderPath = tree.fullPathBytes(folder);
    std::vector<double> folderScanMs, replaceMs, replaceOrderMs;
    std::uint32_t below = 0;
    for (int r = 0; r < rounds; ++r) {
        start = Clock::now();
        const ScanResult fresh = ScanFolder(folderPath);
        folderScanMs.push_back(secondsSince(start) * 1e3);
        if (!fresh.complete())
            return 1;
        start = Clock::now();
        const std::vector<NodeIndex> changed = tree.replaceFolder(folder, *fresh.tree);
        replaceMs.push_back(secondsSince(start) * 1e3);
        start = Clock::now();
        order.update(tree, changed, FileName, Qt::AscendingOrder);
        replaceOrderMs.push_back(secondsSince(start) * 1e3);
        below = tree.node(folder).subtreeCount - 1;
    }
    std::printf("folder_read_again %s (%u entries below it)\n", folderPath.constData(), below);
    std::printf("folder_scan_ms median %.3f max %.3f\n", median(folderScanMs), largest(folderScanMs));
    std::printf("replace_folder_ms median %.3f max %.3f\n", median(replaceMs), largest(replaceMs));
    std::printf("tree_order_update_after_replace_ms median %.3f max %.3f\n", median(replaceOrderMs),
        largest(replaceOrderMs));
    std::printf("slots %zu (%zu retired), memory %.1f MiB before, %.1f MiB after\n", tree.nodeCount(),
        tree.retiredCount(), double(memoryBefore) / 1048576.0, double(tree.memoryBytes()) / 1048576.0);
    return 0;
}
