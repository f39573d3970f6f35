#include "CatalogTree.h"
#include "CatalogFields.h"
#include "Fixture.h"
#include "RollUp.h"
#include "ScanCounts.h"
#include "TCatalogNode.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QStringList>

#include <cerrno>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

class CatalogTreeTest : public ::testing::Test
{
protected:
    void SetUp() override { UseUtcAndCLocale(); }
};

TEST_F(CatalogTreeTest, RollUpSumsFoldersAndCountsNodesBelow)
{
    // top: a (1), b (3), s/ { c (2), d (2), e/ { f (4) } }, empty/, gone (never examined)
    TreeBuilder t("/data");
    const NodeIndex a = t.add(0, "a", NodeKind::File, 1);
    const NodeIndex b = t.add(0, "b", NodeKind::File, 3);
    const NodeIndex s = t.add(0, "s", NodeKind::Folder);
    const NodeIndex empty = t.add(0, "empty", NodeKind::Folder);
    const NodeIndex gone = t.add(0, "gone", NodeKind::Unknown);
    t.add(s, "c", NodeKind::File, 2);
    t.add(s, "d", NodeKind::File, 2);
    const NodeIndex e = t.add(s, "e", NodeKind::Folder);
    const NodeIndex f = t.add(e, "f", NodeKind::File, 4);
    t.finish();

    const struct
    {
        NodeIndex node;
        const char *bytes, *percent, *count;
    } expected[] = {
        {0, "12", "100.00", "9"},
        {a, "1", "8.33", "1"},
        {b, "3", "25.00", "1"},
        {s, "8", "66.67", "4"},
        {e, "4", "33.33", "1"},
        {f, "4", "33.33", "1"},
        {empty, "0", "0.00", "0"},
        {gone, "", "", "1"},
    };
    for (const auto &x : expected) {
        EXPECT_EQ(t.text(x.node, FileBytes), QLatin1String(x.bytes)) << x.node;
        EXPECT_EQ(t.text(x.node, SizePercentage), QLatin1String(x.percent)) << x.node;
        EXPECT_EQ(t.text(x.node, FileCount), QLatin1String(x.count)) << x.node;
    }
    // A subtree on its own: the folder's own size is the caller's to write.
    EXPECT_EQ(RollUpSizes(*t.tree, s), 8.0);
    EXPECT_EQ(RollUpSizes(*t.tree, NoNode), 0.0);
    EXPECT_EQ(t.text(s, FileBytes), QStringLiteral("8"));
}

TEST_F(CatalogTreeTest, TotalsBeyondFourGigabytesAndZeroTotals)
{
    TreeBuilder big("/big");
    big.add(0, "one", NodeKind::File, 3ull << 30);
    big.add(0, "two", NodeKind::File, 3ull << 30);
    big.finish();
    EXPECT_EQ(big.text(0, FileBytes), QStringLiteral("6442450944"));
    EXPECT_EQ(big.text(1, SizePercentage), QStringLiteral("50.00"));

    // Totals past 2^64 - 1 bytes stop at SaturatedSize instead of wrapping; a
    // sibling folder that stays below keeps its exact total.
    constexpr std::uint64_t Largest = 0x7fffffffffffffffull; // the largest size a file can have
    TreeBuilder huge("/huge");
    const NodeIndex full = huge.add(0, "full", NodeKind::Folder);
    const NodeIndex small = huge.add(0, "small", NodeKind::Folder);
    for (const char *name : {"x", "y", "z"})
        huge.add(full, name, NodeKind::File, Largest);
    huge.add(small, "s", NodeKind::File, 5);
    huge.finish();
    EXPECT_TRUE(huge.tree->isSizeSaturated(full));
    EXPECT_TRUE(huge.tree->isSizeSaturated(0));
    EXPECT_FALSE(huge.tree->isSizeSaturated(small));
    EXPECT_EQ(huge.text(small, FileBytes), QStringLiteral("5"));
    EXPECT_EQ(huge.text(0, FileBytes), QStringLiteral("18446744073709551615"));

    TreeBuilder zero("/zero");
    const NodeIndex sub = zero.add(0, "sub", NodeKind::Folder);
    zero.add(0, "empty", NodeKind::File, 0);
    zero.add(sub, "inner", NodeKind::File, 0);
    zero.finish();
    for (NodeIndex n = 0; n < zero.tree->nodeCount(); ++n) {
        EXPECT_EQ(zero.text(n, FileBytes), QStringLiteral("0"));
        EXPECT_EQ(zero.text(n, SizePercentage), QStringLiteral("0"));
    }
}

TEST_F(CatalogTreeTest, PathsFollowTheParentChain)
{
    const struct
    {
        const char *top, *child;
    } cases[] = {
        {"/", "/etc"},
        {"/data", "/data/etc"},
        {"/data/", "/data/etc"},
    };
    for (const auto &c : cases) {
        TreeBuilder t(c.top);
        const NodeIndex etc = t.add(0, "etc", NodeKind::Folder);
        const NodeIndex file = t.add(etc, "x.conf", NodeKind::File, 1);
        t.finish();
        EXPECT_EQ(t.text(0, FileName), QLatin1String(c.top));
        EXPECT_EQ(t.text(0, FullPath), QLatin1String(c.top));
        EXPECT_EQ(t.text(etc, FullPath), QLatin1String(c.child));
        EXPECT_EQ(t.text(file, FullPath), QLatin1String(c.child) + QStringLiteral("/x.conf"));
    }
}

TEST_F(CatalogTreeTest, FieldsNeverFilledAreEmpty)
{
    TreeBuilder t("/top");
    const NodeIndex file = t.add(0, "Notes.TXT", NodeKind::File, 10);
    const NodeIndex folder = t.add(0, "dir.d", NodeKind::Folder);
    const NodeIndex gone = t.add(0, "gone.txt", NodeKind::Unknown);
    t.finish();

    for (int field : {FileExt, Description, FileNameLength, PathNameLength, CatalogName, CreateTime,
             AccessTime, WriteTime, DOSName, CreateAgeRange, SizeRange})
        EXPECT_TRUE(t.text(0, field).isEmpty()) << "top field " << field;
    EXPECT_EQ(t.text(0, FileType), QStringLiteral("folder"));

    EXPECT_EQ(t.text(file, FileType), QStringLiteral("file"));
    EXPECT_EQ(t.text(file, FileExt), QStringLiteral("TXT"));
    EXPECT_EQ(t.text(file, DOSName), QStringLiteral("Notes.TXT"));
    EXPECT_EQ(t.text(file, FileNameLength), QStringLiteral("9"));
    EXPECT_EQ(t.text(file, PathNameLength), QStringLiteral("14"));
    EXPECT_TRUE(t.text(folder, FileExt).isEmpty());

    for (int field = 0; field < CatalogFieldCount; ++field) {
        if (field != FileName && field != FullPath && field != FileCount) {
            EXPECT_TRUE(t.text(gone, field).isEmpty()) << "partly filled field " << field;
        }
    }
    EXPECT_EQ(t.text(gone, FullPath), QStringLiteral("/top/gone.txt"));
}

TEST_F(CatalogTreeTest, RecordsAreIndependentCopies)
{
    const TCatalogNode blank;
    EXPECT_EQ(blank.ExpandedIcon, 0);
    EXPECT_EQ(blank.CollapsedIcon, 0);
    for (int field = 0; field < CatalogFieldCount; ++field)
        EXPECT_TRUE(blank.text(field).isEmpty());

    TreeBuilder t("/top");
    const NodeIndex one = t.add(0, "one", NodeKind::File, 1);
    const NodeIndex three = t.add(0, "three", NodeKind::File, 3);
    t.add(0, "other", NodeKind::File, 12);
    t.finish();

    // The list pass: each row's share of the rows shown, not of the scan.
    TCatalogNode rows[2] = {TCatalogNode(t.tree, one), TCatalogNode(t.tree, three)};
    for (TCatalogNode &row : rows)
        row.setListTotal(4.0);
    EXPECT_EQ(rows[0].text(SizePercentage), QStringLiteral("25.00"));
    EXPECT_EQ(rows[1].text(SizePercentage), QStringLiteral("75.00"));

    TCatalogNode copy;
    CopyNodeRecord(rows[0], copy);
    EXPECT_EQ(copy.text(FileName), QStringLiteral("one"));
    copy.setListTotal(1.0);
    copy.ExpandedIcon = 7;
    EXPECT_EQ(copy.text(SizePercentage), QStringLiteral("100.00"));
    EXPECT_EQ(rows[0].text(SizePercentage), QStringLiteral("25.00"));
    EXPECT_EQ(rows[0].ExpandedIcon, 0);
    EXPECT_EQ(TCatalogNode(t.tree, one).text(SizePercentage), QStringLiteral("6.25"));

    // A row keeps its scan alive after the tree is given up elsewhere.
    t.tree.reset();
    EXPECT_EQ(copy.text(FullPath), QStringLiteral("/top/one"));
}

TEST_F(CatalogTreeTest, ChildrenOfOneFolderMustBeAppendedTogether)
{
    TreeBuilder t("/top");
    const NodeIndex a = t.add(0, "a", NodeKind::Folder);
    t.add(a, "x", NodeKind::File);
    EXPECT_THROW(t.add(0, "late", NodeKind::File), std::logic_error);
}

// Entries taken out of a tree being built (those that vanished during a scan) leave
// every other node whole: its parent, its children one after the other, its mark of
// an unreadable folder, whatever stood before or after the ones taken out. What is
// left counts up: files, folders and entries of unknown kind (listed, never
// examined) make the entries.
TEST_F(CatalogTreeTest, RemovingLeavesKeepsTheRestWhole)
{
    // top: a, gone1, s/ { gone2, c, gone3 }, only/ { gone4 }, locked/, t/ { x }, closed
    TreeBuilder t("/data");
    t.add(0, "a", NodeKind::File, 1);
    const NodeIndex gone1 = t.add(0, "gone1", NodeKind::Unknown);
    const NodeIndex s = t.add(0, "s", NodeKind::Folder);
    const NodeIndex only = t.add(0, "only", NodeKind::Folder);
    const NodeIndex locked = t.add(0, "locked", NodeKind::Folder);
    const NodeIndex tf = t.add(0, "t", NodeKind::Folder);
    t.add(0, "closed", NodeKind::Unknown);
    const NodeIndex gone2 = t.add(s, "gone2", NodeKind::Unknown);
    t.add(s, "c", NodeKind::File, 2);
    const NodeIndex gone3 = t.add(s, "gone3", NodeKind::Unknown);
    const NodeIndex gone4 = t.add(only, "gone4", NodeKind::Unknown);
    t.add(tf, "x", NodeKind::File, 4);
    t.tree->markUnreadable(locked, EACCES);

    CatalogTree &tree = *t.tree;
    const NodeIndex moved = tree.removeLeaves({gone1, gone2, gone3, gone4}, locked);
    t.finish();
    ASSERT_EQ(tree.nodeCount(), 9u);
    EXPECT_EQ(tree.nameBytes(moved), "locked");
    EXPECT_EQ(tree.unreadableError(moved), EACCES);
    ASSERT_EQ(tree.unreadableFolders().size(), 1u);
    EXPECT_EQ(tree.unreadableFolders()[0].first, moved);

    // Every node by its path, with its children in order.
    std::map<QString, QStringList> shape;
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n) {
        QStringList names;
        for (std::uint32_t r = 0; r < tree.childCount(n); ++r) {
            const NodeIndex c = tree.child(n, r);
            EXPECT_EQ(tree.parent(c), n) << tree.fullPath(c).toStdString();
            names << tree.name(c);
        }
        shape[tree.fullPath(n)] = names;
    }
    const std::map<QString, QStringList> expected {
        {"/data", {"a", "s", "only", "locked", "t", "closed"}},
        {"/data/closed", {}},
        {"/data/a", {}},
        {"/data/s", {"c"}},
        {"/data/s/c", {}},
        {"/data/only", {}},
        {"/data/locked", {}},
        {"/data/t", {"x"}},
        {"/data/t/x", {}},
    };
    EXPECT_EQ(shape, expected);
    EXPECT_EQ(t.text(0, FileBytes), QStringLiteral("7"));
    EXPECT_EQ(t.text(0, FileCount), QStringLiteral("8"));
    const ScanCounts counts = CountScan(tree);
    EXPECT_EQ(counts.entries, 8u);
    EXPECT_EQ(counts.files, 3u);
    EXPECT_EQ(counts.folders, 4u);
    EXPECT_EQ(counts.unknownKind, 1u);
    EXPECT_EQ(counts.unreadableFolders, 1u);

    // Only leaves, each once and in order; never the top.
    TreeBuilder other("/o");
    const NodeIndex folder = other.add(0, "folder", NodeKind::Folder);
    const NodeIndex leaf = other.add(0, "leaf", NodeKind::File);
    other.add(folder, "inside", NodeKind::File);
    for (const std::vector<NodeIndex> &wrong : {std::vector<NodeIndex> {folder}, {0}, {leaf, leaf}, {99}})
        EXPECT_THROW(other.tree->removeLeaves(wrong), std::logic_error);
    EXPECT_EQ(other.tree->nodeCount(), 4u);
}

} // namespace

// The exports write fields through appendFieldUtf8; it must give the very bytes of
// fieldText in every case, odd names and missing values included.
TEST_F(CatalogTreeTest, Utf8FieldsAreTheFieldTextsInUtf8)
{
    TreeBuilder t("/data\xff");
    const char *names[] = {
        "plain.txt",
        "ünïcødé 名前",
        "emoji \xf0\x9f\x93\x81",
        "invalid\xff\xfe",
        "overlong\xc0\xaf",
        "surrogate\xed\xa0\x80",
        "nonchar\xef\xbf\xbe",
        "cut\xe2\x82",
        "line\nbreak",
        ".hidden",
        "\xef\xbb\xbf"
        "byte order mark",
        "\xef\xbb\xbf\xef\xbb\xbf"
        "twice",
        "\xef\xbb\xbf"
        "invalid\xff",
    };
    std::int64_t stamp = 0;
    for (const char *name : names) {
        const NodeIndex n = t.add(0, name, NodeKind::File, 1536);
        CatalogNodeData &d = t.tree->node(n);
        d.createTime = stamp;
        d.accessTime = 951782400 + stamp * 7; // around 29 February 2000
        d.writeTime = -86400 * 400 + stamp;
        d.set(CatalogNodeData::HasCreateTime);
        d.set(CatalogNodeData::HasAccessTime);
        d.set(CatalogNodeData::HasWriteTime);
        stamp += 86399;
    }
    const NodeIndex folder = t.add(0, "folder", NodeKind::Folder);
    t.add(0, "gone", NodeKind::Unknown);
    t.add(folder, "big", NodeKind::File, SaturatedSize - 1);
    const std::shared_ptr<CatalogTree> tree = t.finish();

    for (const bool classified : {false, true}) {
        if (classified)
            tree->setClassification({{1024, 1e6}, {1, 30, 365}, 1700000000});
        // th_TH: time texts too long for the packed table of times.
        for (const char *locale : {"C", "de_DE", "ar_EG", "th_TH"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
            for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
                for (const std::optional<double> total :
                    {std::optional<double>(), std::optional<double>(3000.0)}) {
                    for (int field = 0; field < CatalogFieldCount; ++field) {
                        std::string bytes = "prefix";
                        tree->appendFieldUtf8(n, field, total, bytes);
                        EXPECT_EQ(bytes, "prefix" + tree->fieldText(n, field, total).toStdString())
                            << locale << " node " << n << " field " << field
                            << (classified ? " classified" : "");
                    }
                }
            }
        }
    }
    QLocale::setDefault(QLocale::c());

    // A leading U+FEFF is part of the name, whether the rest is UTF-8 or not, and
    // counts in its length.
    const struct
    {
        NodeIndex node;
        const char16_t *name;
    } marked[] = {
        {11, u"\uFEFFbyte order mark"},
        {12, u"\uFEFF\uFEFFtwice"},
        {13, u"\uFEFFinvalid\uFFFD"},
    };
    for (const auto &m : marked) {
        const QString name = QStringView(m.name).toString(); // fromUtf16 would drop the mark too
        EXPECT_EQ(tree->fieldText(m.node, FileName), name);
        EXPECT_EQ(tree->name(m.node), name);
        EXPECT_EQ(tree->fieldText(m.node, FileNameLength), QString::number(name.size()))
            << name.toStdString();
    }
}
