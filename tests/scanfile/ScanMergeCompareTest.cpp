// Several scans shown as one tree, and a scan compared with an earlier one of the same
// folder after files were added, removed, grown and shrunk and a folder renamed.

#include "CatalogFields.h"
#include "Fixture.h"
#include "SampleTree.h"
#include "ScanCompare.h"
#include "ScanFileTrees.h"
#include "ScanMerge.h"
#include "TreeComparison.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(ScanMerge, ThreeScansBecomeOneTreeUnderTheirLabels)
{
    Fixture fx;
    fx.makeFolder("one");
    fx.makeFile("one/a", 10);
    fx.makeFolder("two");
    fx.makeFolder("two/sub");
    fx.makeFile("two/sub/b", 20);
    fx.makeFolder("three");
    fx.makeFile("three/c", 30);
    std::vector<MergedScan> scans;
    for (const char *folder : {"one", "two", "three"}) {
        // Each scan goes through its file, as machines hand them over.
        const ScanFileResult read = ReadScanText(ScanFileText(*CompleteScan(fx.at(folder))));
        ASSERT_TRUE(read.tree) << read.error.toStdString();
        scans.push_back({read.tree, ScanLabel("host", "", fx.at(folder))});
    }
    scans[2].label = ScanLabel("", "/srv/scans/nas.json.gz", fx.at("three"));
    scans.push_back(scans[0]); // the same scan twice keeps both, told apart

    const std::shared_ptr<CatalogTree> merged = MergeScans(scans);
    EXPECT_EQ(merged->nameBytes(0), "4 scans");
    ASSERT_EQ(merged->childCount(0), 4u);
    EXPECT_EQ(merged->nameBytes(merged->child(0, 0)), "host:" + fx.at("one"));
    EXPECT_EQ(merged->nameBytes(merged->child(0, 2)), "nas:" + fx.at("three"));
    EXPECT_EQ(merged->nameBytes(merged->child(0, 3)), "host:" + fx.at("one") + " (2)");
    EXPECT_EQ(merged->node(0).size, 10u + 20 + 30 + 10);
    EXPECT_EQ(merged->fieldText(0, FileCount), "9"); // four tops, one folder, four files
    // Everything below each top is that scan's, entry by entry.
    const NodeIndex two = merged->child(0, 1);
    const NodeIndex b = merged->child(merged->child(two, 0), 0);
    EXPECT_EQ(merged->node(two).size, 20u);
    EXPECT_EQ(merged->fieldText(b, SizePercentage), "28.57");
    EXPECT_EQ(merged->fullPathBytes(b), "4 scans/host:" + fx.at("two") + "/sub/b");
}

struct Expected
{
    const char *path;
    const char *size; // File Size: the later scan's, or a removed entry's earlier one
    const char *sizeChange;
    const char *change;
};

TEST(ScanCompare, EverySizeChangeIsTheHandCount)
{
    Fixture fx;
    fx.makeFile("a.txt", 10);
    fx.makeFolder("b");
    fx.makeFile("b/c", 100);
    fx.makeFile("b/d", 50);
    fx.makeFolder("docs");
    fx.makeFile("docs/x", 5);
    fx.makeFile("docs/y", 7);
    fx.makeFile("old", 30);
    const ScanFileResult earlier = ReadScanText(ScanFileText(*CompleteScan(fx.path())));
    ASSERT_TRUE(earlier.tree) << earlier.error.toStdString();

    fx.makeFile("a.txt", 25);
    fx.makeFile("b/d", 20);
    fx.makeFile("b/e", 40);
    ASSERT_EQ(std::rename(fx.at("docs").constData(), fx.at("papers").constData()), 0);
    ASSERT_EQ(std::remove(fx.at("old").constData()), 0);
    fx.makeFile("new.bin", 8);
    const std::shared_ptr<CatalogTree> later = CompleteScan(fx.path());

    const std::shared_ptr<CatalogTree> compared = CompareScans(*later, *earlier.tree);
    const Expected expected[] = {
        {"", "205", "3", "grown"}, // 202 bytes before, 205 after
        {"a.txt", "25", "15", "grown"},
        {"b", "160", "10", "grown"},
        {"b/c", "100", "0", "unchanged"},
        {"b/d", "20", "-30", "shrunk"},
        {"b/e", "40", "40", "new"},
        {"papers", "12", "12", "new"},
        {"papers/x", "5", "5", "new"},
        {"docs", "12", "-12", "removed"},
        {"docs/y", "7", "-7", "removed"},
        {"old", "30", "-30", "removed"},
        {"new.bin", "8", "8", "new"},
    };
    for (const Expected &e : expected) {
        const NodeIndex n = NodeAtPath(*compared, e.path);
        ASSERT_NE(n, NoNode) << e.path;
        EXPECT_EQ(compared->fieldText(n, FileBytes), e.size) << e.path;
        EXPECT_EQ(compared->fieldText(n, SizeChange), e.sizeChange) << e.path;
        EXPECT_EQ(compared->fieldText(n, Change), e.change) << e.path;
    }
    // The entries' own changes add up to each folder's.
    std::int64_t sum = 0;
    for (std::uint32_t r = 0; r < compared->childCount(0); ++r)
        sum += compared->comparison()->sizeChange[compared->child(0, r)];
    EXPECT_EQ(sum, 3);

    // Hidden, the removed entries are not there, and the figures stay.
    const std::shared_ptr<CatalogTree> hidden = CompareScans(*later, *earlier.tree, {true, std::nullopt});
    EXPECT_EQ(NodeAtPath(*hidden, "docs"), NoNode);
    EXPECT_EQ(NodeAtPath(*hidden, "old"), NoNode);
    EXPECT_EQ(hidden->fieldText(0, SizeChange), "3");
    EXPECT_EQ(hidden->nodeCount(), later->nodeCount());
    // A tree of one scan has neither field.
    EXPECT_EQ(later->fieldText(0, SizeChange), "");
    EXPECT_EQ(later->fieldText(0, Change), "");
}

} // namespace
