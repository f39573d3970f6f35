#include "CatalogFields.h"
#include "CatalogTree.h"
#include "CommandOutput.h"
#include "Fixture.h"
#include "FolderScanner.h"
#include "RollUp.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <QList>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What `du -B1 ARGS PATH` says of PATH in bytes (its last line).
std::uint64_t du(const std::vector<QByteArray> &args, const QByteArray &path)
{
    std::vector<QByteArray> argv {"du", "-B1"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(path);
    const std::optional<QByteArray> out = commandOutput(argv);
    if (!out) {
        ADD_FAILURE() << "du failed on " << path.constData();
        return 0;
    }
    return out->trimmed().split('\n').last().split('\t').first().toULongLong();
}

// Writes `bytes` bytes of data at `offset` of the file, made if missing.
void writeAt(const QByteArray &path, std::uint64_t offset, std::size_t bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    const std::string data(bytes, 'x');
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), off_t(offset)), ssize_t(bytes)) << path.constData();
    ::fsync(fd); // some file systems allocate the blocks only once written back
    ::close(fd);
}

NodeIndex nodeAt(const CatalogTree &tree, const QByteArray &relative)
{
    NodeIndex node = tree.top();
    for (const QByteArray &name : relative.split('/')) {
        NodeIndex found = NoNode;
        for (std::uint32_t r = 0; r < tree.childCount(node) && found == NoNode; ++r) {
            if (tree.nameBytes(tree.child(node, r)) == name)
                found = tree.child(node, r);
        }
        if (found == NoNode) {
            ADD_FAILURE() << "no entry " << relative.constData();
            return tree.top();
        }
        node = found;
    }
    return node;
}

std::uint64_t apparentSize(const QByteArray &path)
{
    struct stat st
    { };
    EXPECT_EQ(::lstat(path.constData(), &st), 0) << path.constData();
    return std::uint64_t(st.st_size);
}

// The scan's disk usage and sizes agree with du's on a tree that holds a sparse
// file, a file with two hard links in different folders, nested and empty folders
// (whose own blocks count on disk) and a symbolic link, with hard links counted once
// (du's default) and every link (du -l). Sizes agree with du --apparent-size less
// the folders' own sizes, which Folvane's sizes leave out.
TEST(DiskUsageTest, AgreesWithDuOnSparseFilesHardLinksAndFolders)
{
    Fixture fx;
    fx.makeFolder("sub");
    fx.makeFolder("sub/inner");
    fx.makeFolder("other");
    constexpr std::uint64_t SparseSize = std::uint64_t(64) << 20;
    fx.makeFile("sparse", SparseSize);
    writeAt(fx.at("sparse"), 0, 100);
    writeAt(fx.at("sparse"), SparseSize / 2, 100);
    writeAt(fx.at("dense"), 0, 20000);
    writeAt(fx.at("sub/linked"), 0, 30000);
    ASSERT_EQ(::link(fx.at("sub/linked").constData(), fx.at("other/link").constData()), 0);
    fx.makeLink("sub/symlink", "../dense");
    const std::uint64_t folderSizes = apparentSize(fx.path()) + apparentSize(fx.at("sub"))
        + apparentSize(fx.at("sub/inner")) + apparentSize(fx.at("other"));

    // du's figures, all taken before any scan: with hard links counted once (its
    // default) and every link (-l).
    std::uint64_t duTop[2];
    std::uint64_t duApparent[2];
    for (const bool once : {false, true}) {
        std::vector<QByteArray> links;
        if (!once)
            links.push_back("-l");
        duTop[once] = du(links, fx.path());
        links.push_back("--apparent-size");
        duApparent[once] = du(links, fx.path());
    }
    const std::uint64_t duInner = du({}, fx.at("sub/inner"));
    const std::uint64_t duSparse = du({}, fx.at("sparse"));
    const std::uint64_t duLinked = du({}, fx.at("sub/linked"));
    ASSERT_GT(duLinked, 0u);

    for (const unsigned threads : {1u, 2u}) {
        for (const bool once : {false, true}) {
            const std::string what = std::to_string(threads) + " threads" + (once ? ", links once" : "");
            ScanOptions options;
            options.threads = threads;
            options.countHardLinksOnce = once;
            const ScanResult result = ScanFolder(fx.path(), options);
            ASSERT_TRUE(result.complete()) << what;
            const CatalogTree &tree = *result.tree;
            const auto number = [&tree](NodeIndex n, int field) {
                return tree.fieldText(n, field).toULongLong();
            };

            EXPECT_EQ(number(tree.top(), DiskUsage), duTop[once]) << what;
            EXPECT_EQ(number(tree.top(), FileBytes), duApparent[once] - folderSizes) << what;
            // An empty folder: its own blocks alone.
            EXPECT_EQ(number(nodeAt(tree, "sub/inner"), DiskUsage), duInner) << what;

            const NodeIndex sparse = nodeAt(tree, "sparse");
            EXPECT_EQ(number(sparse, FileBytes), SparseSize) << what;
            EXPECT_EQ(number(sparse, DiskUsage), duSparse) << what;
            EXPECT_LT(number(sparse, DiskUsage), SparseSize / 100) << what;

            // The two links: both with their blocks, or one of them.
            const std::uint64_t first = number(nodeAt(tree, "sub/linked"), DiskUsage);
            const std::uint64_t second = number(nodeAt(tree, "other/link"), DiskUsage);
            if (once)
                EXPECT_TRUE((first == duLinked && second == 0) || (first == 0 && second == duLinked))
                    << what << ": " << first << " and " << second;
            else
                EXPECT_TRUE(first == duLinked && second == duLinked) << what;
        }
    }
}

// A folder's disk usage is its own blocks and its children's, at every level.
TEST(DiskUsageTest, RollsUpWithEachFoldersOwnBlocks)
{
    // top (own 4): a (10 on disk), s/ (own 8) { b (20), e/ (own 8) { c (40) } }, gone
    TreeBuilder t("/data");
    t.tree->node(0).diskSize = 4;
    t.add(0, "a", NodeKind::File, 1, 10);
    const NodeIndex s = t.add(0, "s", NodeKind::Folder, 0, 8);
    const NodeIndex gone = t.add(0, "gone", NodeKind::Unknown);
    t.add(s, "b", NodeKind::File, 2, 20);
    const NodeIndex e = t.add(s, "e", NodeKind::Folder, 0, 8);
    t.add(e, "c", NodeKind::File, 3, 40);
    t.finish();
    EXPECT_EQ(t.text(0, DiskUsage), QStringLiteral("90"));
    EXPECT_EQ(t.text(s, DiskUsage), QStringLiteral("76"));
    EXPECT_EQ(t.text(e, DiskUsage), QStringLiteral("48"));
    EXPECT_EQ(t.text(0, FileBytes), QStringLiteral("6"));
    EXPECT_EQ(t.text(gone, DiskUsage), QString()); // never examined: empty, as its size
}

} // namespace
