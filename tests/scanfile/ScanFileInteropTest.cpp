// Scan files of the two other tools that write and read the format: files written by
// `ncdu -o` and `gdu -o` open with the figures du and Folvane's own scan give, and
// files Folvane writes are read by `ncdu -f` and `gdu -f` with the same totals.

#include "Fixture.h"
#include "SampleTree.h"
#include "ScanFileTrees.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool installed(const char *tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Standard output of a shell command; empty when it failed.
QByteArray output(const QByteArray &command)
{
    QByteArray out;
    if (std::FILE *pipe = ::popen(command.constData(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, qsizetype(n));
        if (::pclose(pipe) != 0)
            out.clear();
    }
    return out;
}

QByteArray quoted(const QByteArray &path)
{
    return "'" + path + "'";
}

std::uint64_t folderOwnSizes = 0;
std::uint64_t folderCount = 0;

// du's apparent total less the folders' own sizes, which a scan does not count: what
// the files below `path` hold. `links`: count every hard link.
std::uint64_t duTotal(const QByteArray &path, bool links)
{
    folderOwnSizes = 0;
    folderCount = 0;
    ::nftw(
        path.constData(),
        [](const char *, const struct stat *st, int type, struct FTW *) {
            if (type == FTW_D) {
                folderOwnSizes += std::uint64_t(st->st_size);
                ++folderCount;
            }
            return 0;
        },
        16, FTW_PHYS);
    const QByteArray du = output("du -sb" + QByteArray(links ? "l " : " ") + quoted(path));
    return du.left(du.indexOf('\t')).toULongLong() - folderOwnSizes;
}

void makeFixture(const Fixture &fx)
{
    MakeSampleTree(fx);
    fx.makeFile("i/k/linked", 700);
    ASSERT_EQ(::link(fx.at("i/k/linked").constData(), fx.at("b/d/second").constData()), 0);
    ASSERT_EQ(::mkfifo(fx.at("h/fifo").constData(), 0644), 0);
    fx.makeFolderChain("chain", 40);
}

class ScanFileInterop : public ::testing::TestWithParam<const char *>
{ };

TEST_P(ScanFileInterop, FilesOfTheOtherToolOpenWithDusTotals)
{
    const char *tool = GetParam();
    if (!installed(tool))
        GTEST_SKIP() << tool << " is not installed";
    Fixture fx;
    makeFixture(fx);
    // gdu writes U+FFFD for bytes that are not UTF-8: such a name cannot come back
    // from its files (ncdu keeps the bytes).
    if (QByteArray(tool) == "gdu") {
        ASSERT_EQ(::unlink(fx.at(NotUtf8Name).constData()), 0);
    }
    const QByteArray tree = fx.at("tree");
    ASSERT_EQ(::rename(fx.path().constData(), (fx.path() + ".t").constData()), 0);
    ::mkdir(fx.path().constData(), 0755);
    ASSERT_EQ(::rename((fx.path() + ".t").constData(), tree.constData()), 0);
    const QByteArray file = fx.at(QByteArray(tool) + ".json");
    const QByteArray write = QByteArray(tool) == "ncdu" ? "ncdu -e -o " + quoted(file) + " " + quoted(tree)
                                                        : "gdu -n -p -o " + quoted(file) + " " + quoted(tree);
    ASSERT_EQ(std::system((write + " >/dev/null 2>&1").constData()), 0) << write.constData();

    const std::shared_ptr<CatalogTree> scan = CompleteScan(tree);
    const ScanFileResult plain = ReadScanFile(file);
    ASSERT_TRUE(plain.tree) << plain.error.toStdString();
    EXPECT_EQ(plain.metadata.program, QByteArray(tool));
    // gdu names the inode of the second and later links of a file only.
    EXPECT_EQ(ScanFileDifferences(*scan, *plain.tree, QByteArray(tool) == "ncdu"), "");
    EXPECT_EQ(plain.tree->node(0).size, duTotal(tree, true));

    ScanFileOptions once;
    once.countHardLinksOnce = true;
    const ScanFileResult linksOnce = ReadScanFile(file, once);
    ASSERT_TRUE(linksOnce.tree) << linksOnce.error.toStdString();
    EXPECT_EQ(linksOnce.tree->node(0).size, duTotal(tree, false));
    EXPECT_EQ(linksOnce.tree->node(0).size + 700, plain.tree->node(0).size);
}

TEST_P(ScanFileInterop, FilesFolvaneWritesAreReadWithItsTotals)
{
    const char *tool = GetParam();
    if (!installed(tool))
        GTEST_SKIP() << tool << " is not installed";
    Fixture fx;
    makeFixture(fx);
    const std::shared_ptr<CatalogTree> scan = CompleteScan(fx.path());
    const QByteArray file = fx.path() + ".folvane.json";
    ASSERT_EQ(WriteScanFile(*scan, file), QString());
    const std::uint64_t total = scan->node(0).size;

    if (QByteArray(tool) == "gdu") {
        // gdu counts every folder itself as 4096 bytes, whatever the file says, and a
        // file of several hard links once, as the file lets it (du's count).
        const std::uint64_t linksOnce = duTotal(fx.path(), false);
        const QByteArray summary = output("gdu -f " + quoted(file) + " -n -p -s -a --no-prefix");
        EXPECT_EQ(summary.trimmed().split(' ').first().toULongLong(), linksOnce + 4096 * folderCount)
            << summary.constData();
        EXPECT_EQ(linksOnce + 700, total);
    } else {
        // ncdu reads the file and writes it again: Folvane reads that back as it was.
        const QByteArray again = fx.path() + ".ncdu.json";
        ASSERT_EQ(
            std::system(("ncdu -e -f " + quoted(file) + " -o " + quoted(again) + " 2>/dev/null").constData()),
            0);
        const ScanFileResult back = ReadScanFile(again);
        ASSERT_TRUE(back.tree) << back.error.toStdString();
        EXPECT_EQ(ScanFileDifferences(*scan, *back.tree), "");
        EXPECT_EQ(back.tree->node(0).size, total);
        ::unlink(again.constData());
    }
    ::unlink(file.constData());
}

INSTANTIATE_TEST_SUITE_P(Tools, ScanFileInterop, ::testing::Values("ncdu", "gdu"));

} // namespace
