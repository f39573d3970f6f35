// A scan saved and opened again is the same scan, for every figure the file carries,
// on a tree made to break writers: names of any bytes, a chain deeper than PATH_MAX,
// hard links, a folder nobody may read, a sparse file.

#include "Fixture.h"
#include "FolderScanner.h"
#include "RollUp.h"
#include "RunAsNobody.h"
#include "ScanFileTrees.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every byte but NUL and '/' in some name, and names readers trip on.
QList<QByteArray> hostileNames()
{
    QList<QByteArray> names;
    QByteArray name;
    for (int b = 1; b < 256; ++b) {
        if (b == '/')
            continue;
        name.append(char(b));
        if (name.size() == 24) {
            names.append("x" + name);
            name.clear();
        }
    }
    names.append("x" + name);
    names.append("n\xff\xfe.bin"); // not UTF-8
    names.append("\xef\xbb\xbf"
                 "bom"); // U+FEFF first
    names.append("q\"\\u0041\\\"");
    names.append(" lead and trail ");
    names.append("\xed\xa0\x80 surrogate bytes");
    return names;
}

// `levels` folders "d", each in the one before, below `path`: far beyond PATH_MAX.
void makeChain(const QByteArray &path, int levels)
{
    ASSERT_EQ(::mkdir(path.constData(), 0755), 0);
    int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < levels && fd >= 0; ++level) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    ::close(fd);
}

void makeHostileTree(const Fixture &fx)
{
    fx.makeFolder("names");
    std::uint64_t size = 1;
    for (const QByteArray &name : hostileNames())
        fx.makeFile("names/" + name, size++);
    makeChain(fx.at("deep"), 3000);
    fx.makeFolder("links");
    fx.makeFile("links/a", 1000);
    ASSERT_EQ(::link(fx.at("links/a").constData(), fx.at("links/b").constData()), 0);
    fx.makeLink("links/sym", "a");
    fx.makeFolder("closed");
    fx.makeFile("closed/secret", 100);
    ::chmod(fx.at("closed").constData(), 0700);
    const int fd = ::open(fx.at("sparse").constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(1) << 40), 0); // a terabyte of nothing
    ::close(fd);
    ASSERT_EQ(::mkfifo(fx.at("fifo").constData(), 0644), 0);
}

// Saves `scan` and opens it again, plain and through gzip; "" when both agree with it.
std::string roundTrip(const CatalogTree &scan, const QByteArray &gzipPath, bool linksOnce)
{
    ScanFileOptions options;
    options.countHardLinksOnce = linksOnce;
    const ScanFileResult plain = ReadScanText(ScanFileText(scan), options);
    if (!plain.tree)
        return plain.error.toStdString();
    std::string difference = ScanFileDifferences(scan, *plain.tree);
    if (!difference.empty())
        return "plain: " + difference;
    const QString written = WriteScanFile(scan, gzipPath);
    if (!written.isEmpty())
        return written.toStdString();
    const ScanFileResult zipped = ReadScanFile(gzipPath, options);
    if (!zipped.tree)
        return zipped.error.toStdString();
    difference = ScanFileDifferences(scan, *zipped.tree);
    return difference.empty() ? std::string() : "gzip: " + difference;
}

TEST(ScanFileRoundTrip, HostileTreeComesBackExactlyPlainAndCompressed)
{
    Fixture fx;
    makeHostileTree(fx);
    const QByteArray gzipPath = fx.path() + ".scan.json.gz";
    // As nobody, the closed folder cannot be read and is marked so.
    const int status = RunAsNobody([&] {
        for (const bool linksOnce : {false, true}) {
            ScanOptions options;
            options.countHardLinksOnce = linksOnce;
            const ScanResult scan = ScanFolder(fx.path(), options);
            if (!scan.complete() || scan.tree->unreadableFolders().size() != 1) {
                std::fprintf(stderr, "the fixture's scan is not as planned\n");
                return 2;
            }
            const std::string difference = roundTrip(*scan.tree, gzipPath, linksOnce);
            if (!difference.empty()) {
                std::fprintf(stderr, "%s\n", difference.c_str());
                return 1;
            }
        }
        return 0;
    });
    ::unlink(gzipPath.constData());
    if (status < 0)
        GTEST_SKIP() << "cannot drop privileges to the user nobody here";
    EXPECT_EQ(status, 0) << "the scan and the scan file differ (printed above)";
}

TEST(ScanFileRoundTrip, FileKeepsNamesAsBytesAndMarksWhatWasNotExamined)
{
    CatalogTree tree;
    tree.addTop("/top");
    const char name[] = "a\"b\\c\x01\x7f\xff";
    const NodeIndex file = tree.appendChild(0, name, sizeof name - 1);
    tree.node(file).setKind(NodeKind::File);
    tree.node(file).set(CatalogNodeData::HasSize);
    tree.node(file).set(CatalogNodeData::HasDetails);
    tree.node(file).size = 42;
    const NodeIndex listed = tree.appendChild(0, "listed", 6);
    tree.node(listed).setKind(NodeKind::File);
    tree.node(listed).set(CatalogNodeData::HasDetails);
    tree.appendChild(0, "unknown", 7);
    FinishTree(tree);
    const QByteArray text = ScanFileText(tree);
    EXPECT_TRUE(text.contains("{\"name\":\"a\\\"b\\\\c\\u0001\\u007f\xff\",\"asize\":42}"))
        << text.constData();
    EXPECT_TRUE(text.contains("{\"name\":\"listed\",\"read_error\":true}")) << text.constData();
    EXPECT_TRUE(text.contains("{\"name\":\"unknown\",\"read_error\":true,\"notreg\":true}"))
        << text.constData();
    const ScanFileResult back = ReadScanText(text);
    ASSERT_TRUE(back.tree) << back.error.toStdString();
    EXPECT_EQ(ScanFileDifferences(tree, *back.tree), "");
}

} // namespace
