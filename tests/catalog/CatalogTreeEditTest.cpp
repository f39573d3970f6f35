#include "CatalogFields.h"
#include "CatalogTree.h"
#include "Fixture.h"
#include "RollUp.h"
#include "SampleTree.h"
#include "ScanCounts.h"
#include "TreeBuilder.h"
#include "TreeComparison.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Paths = std::set<QByteArray>;

void removeOnDisk(const Fixture &fx, const QByteArray &relative)
{
    const std::string command = "rm -rf '" + fx.at(relative).toStdString() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

QByteArray relativePath(const CatalogTree &tree, NodeIndex node)
{
    const QByteArray top = tree.fullPathBytes(tree.top());
    const QByteArray path = tree.fullPathBytes(node);
    return node == tree.top() ? QByteArray() : path.mid(top.size() + 1);
}

Paths pathsOf(const CatalogTree &tree, const std::vector<NodeIndex> &nodes)
{
    Paths paths;
    for (const NodeIndex n : nodes)
        paths.insert(relativePath(tree, n));
    return paths;
}

// Every entry of a tree with the texts of its record, but for the percentage,
// whose total an edit changes.
struct Before
{
    NodeIndex node;
    std::vector<QString> texts;
};
std::map<QByteArray, Before> recordsOf(const CatalogTree &tree)
{
    std::map<QByteArray, Before> records;
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n) {
        Before b {n, {}};
        for (int field = 0; field < CatalogFieldCount; ++field)
            b.texts.push_back(field == SizePercentage ? QString() : tree.fieldText(n, field));
        records.emplace(relativePath(tree, n), b);
    }
    return records;
}

// Every entry before the edit: its successor holds the same path, or is NoNode when
// the path is gone; a slot left behind reads the record it read.
void expectSuccessors(const CatalogTree &tree, const std::map<QByteArray, Before> &before,
    const CatalogTree &fresh, const std::string &what)
{
    for (const auto &[path, b] : before) {
        const NodeIndex now = tree.successor(b.node);
        if (NodeAtPath(fresh, path) == NoNode) {
            EXPECT_EQ(now, NoNode) << what << ": " << path.toStdString();
        } else {
            ASSERT_NE(now, NoNode) << what << ": " << path.toStdString();
            EXPECT_FALSE(tree.isRetired(now)) << what;
            EXPECT_EQ(relativePath(tree, now), path) << what;
        }
        if (now != b.node) {
            EXPECT_TRUE(tree.isRetired(b.node)) << what << ": " << path.toStdString();
            for (int field = 0; field < CatalogFieldCount; ++field) {
                if (field != SizePercentage) {
                    EXPECT_EQ(tree.fieldText(b.node, field), b.texts[std::size_t(field)])
                        << what << ": " << path.toStdString() << " field " << field;
                }
            }
        }
    }
}

void expectAsScanned(const CatalogTree &tree, const CatalogTree &fresh, const std::string &what)
{
    const std::vector<std::string> differences = TreeDifferences(tree, fresh);
    EXPECT_TRUE(differences.empty()) << what << "\n" << JoinLines(differences);
    const ScanCounts mine = CountScan(tree), theirs = CountScan(fresh);
    EXPECT_EQ(mine.entries, theirs.entries) << what;
    EXPECT_EQ(mine.files, theirs.files) << what;
    EXPECT_EQ(mine.folders, theirs.folders) << what;
}

TEST(CatalogTreeEdit, RemovedEntriesLeaveWhatANewScanFinds)
{
    const struct
    {
        std::vector<QByteArray> removed; // the first of them are removed on disk
        Paths changed;
    } cases[] = {
        {{"a.txt"}, {""}},
        {{"b/d/e"}, {"b/d"}},
        {{"b"}, {""}},
        {{"link"}, {""}}, // the link goes, the folder it points to stays
        {{"b/c.bin", "b/d", "b/g"}, {"b"}},
        // Below another chosen one, twice, and the top, which never goes.
        {{"b/d", "i/k/l", "h", "b/d/f", "b/d", ""}, {"", "b", "i/k"}},
        {{"i/k", "i/j", "i"}, {""}},
    };
    for (const auto &c : cases) {
        std::string what;
        for (const QByteArray &r : c.removed)
            what += "[" + r.toStdString() + "]";
        Fixture fx;
        MakeSampleTree(fx);
        const auto tree = CompleteScan(fx.path());
        const auto before = recordsOf(*tree);
        std::vector<NodeIndex> nodes;
        for (const QByteArray &r : c.removed)
            nodes.push_back(NodeAtPath(*tree, r));

        const std::vector<NodeIndex> changed = tree->removeEntries(nodes);
        for (const QByteArray &r : c.removed) {
            if (!r.isEmpty())
                removeOnDisk(fx, r);
        }
        const auto fresh = CompleteScan(fx.path());
        EXPECT_EQ(pathsOf(*tree, changed), c.changed) << what;
        expectAsScanned(*tree, *fresh, what);
        expectSuccessors(*tree, before, *fresh, what);

        // Finishing an edited tree again changes nothing: its walks go by the links.
        FinishTree(*tree);
        expectAsScanned(*tree, *fresh, what + " finished again");
    }
}

TEST(CatalogTreeEdit, ReplacedFolderLeavesWhatANewScanFinds)
{
    const struct
    {
        const char *what;
        QByteArray folder;
        std::function<void(const Fixture &)> change;
    } cases[] = {
        {"files added, grown, removed", "b",
            [](const Fixture &fx) {
                fx.makeFile("b/new", 30);
                fx.makeFile("b/c.bin", 500);
                removeOnDisk(fx, "b/d/e");
            }},
        {"emptied", "b/d",
            [](const Fixture &fx) {
                removeOnDisk(fx, "b/d/e");
                removeOnDisk(fx, "b/d/f");
            }},
        {"a file become a folder", "i",
            [](const Fixture &fx) {
                removeOnDisk(fx, "i/j");
                fx.makeFolder("i/j");
                fx.makeFile("i/j/inside", 8);
            }},
        {"an empty folder filled", "h",
            [](const Fixture &fx) {
                for (int k = 0; k < 40; ++k)
                    fx.makeFile("h/f" + QByteArray::number(k), std::uint64_t(k));
            }},
        {"the top", "",
            [](const Fixture &fx) {
                fx.makeFolder("i/k/m");
                fx.makeFile("i/k/m/n", 9);
                removeOnDisk(fx, "a.txt");
            }},
        {"nothing changed", "i", [](const Fixture &) {}},
    };
    for (const auto &c : cases) {
        Fixture fx;
        MakeSampleTree(fx);
        const auto tree = CompleteScan(fx.path());
        const auto before = recordsOf(*tree);
        c.change(fx);
        const NodeIndex folder = NodeAtPath(*tree, c.folder);
        const auto part = CompleteScan(tree->fullPathBytes(folder));

        const std::vector<NodeIndex> changed = tree->replaceFolder(folder, *part);
        const auto fresh = CompleteScan(fx.path());
        expectAsScanned(*tree, *fresh, c.what);
        expectSuccessors(*tree, before, *fresh, c.what);
        EXPECT_EQ(tree->successor(folder), folder) << c.what;

        Paths expected {c.folder};
        for (NodeIndex n = 1; n < part->nodeCount(); ++n) {
            if (part->isFolder(n))
                expected.insert(
                    c.folder.isEmpty() ? relativePath(*part, n) : c.folder + '/' + relativePath(*part, n));
        }
        EXPECT_EQ(pathsOf(*tree, changed), expected) << c.what;
    }
}

// Sizes near 2^64: a total that saturated is summed again once it can be exact.
TEST(CatalogTreeEdit, SaturatedTotalsFollow)
{
    constexpr std::uint64_t Half = std::uint64_t(1) << 63;
    // /big: w/ {x/ {big1}, y/ {big2, small 5}}, z 1; `third` replaces small.
    const auto build = [](bool withBig1, bool third) {
        TreeBuilder t("/big");
        const NodeIndex w = t.add(0, "w", NodeKind::Folder);
        t.add(0, "z", NodeKind::File, 1);
        const NodeIndex x = t.add(w, "x", NodeKind::Folder);
        const NodeIndex y = t.add(w, "y", NodeKind::Folder);
        if (withBig1)
            t.add(x, "big1", NodeKind::File, Half);
        t.add(y, "big2", NodeKind::File, Half);
        t.add(y, third ? "big3" : "small", NodeKind::File, third ? Half : 5);
        return t.finish();
    };
    const auto tree = build(true, false);
    ASSERT_TRUE(tree->isSizeSaturated(NodeAtPath(*tree, "w")));

    tree->removeEntries({NodeAtPath(*tree, "w/x/big1")});
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, false))), "");
    EXPECT_FALSE(tree->isSizeSaturated(0));

    TreeBuilder part("/big/w/y");
    part.add(0, "big2", NodeKind::File, Half);
    part.add(0, "big3", NodeKind::File, Half);
    tree->replaceFolder(NodeAtPath(*tree, "w/y"), *part.finish());
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, true))), "");
    EXPECT_TRUE(tree->isSizeSaturated(0));
}

// Folders that could not be read keep their reasons as they move, leave the list
// as they go, and take the marks the new scan gives when replaced; a slot left
// behind still tells its reason.
TEST(CatalogTreeEdit, UnreadableFoldersFollowEdits)
{
    // top: p/ (EACCES), q/ { r/ (EIO) }, s, u/ (EPERM)
    const auto build = [](bool withS, bool withU, bool rReadable, bool pReadable = false) {
        TreeBuilder t("/top");
        const NodeIndex p = t.add(0, "p", NodeKind::Folder);
        const NodeIndex q = t.add(0, "q", NodeKind::Folder);
        if (withS)
            t.add(0, "s", NodeKind::File, 3);
        const NodeIndex u = withU ? t.add(0, "u", NodeKind::Folder) : NoNode;
        const NodeIndex r = t.add(q, "r", NodeKind::Folder);
        if (!pReadable)
            t.tree->markUnreadable(p, EACCES);
        if (withU)
            t.tree->markUnreadable(u, EPERM);
        if (rReadable) {
            const NodeIndex v = t.add(r, "v", NodeKind::Folder);
            t.tree->markUnreadable(v, ENOENT);
        } else {
            t.tree->markUnreadable(r, EIO);
        }
        return t.finish();
    };
    const auto tree = build(true, true, false);
    const NodeIndex p = NodeAtPath(*tree, "p"), u = NodeAtPath(*tree, "u");

    tree->removeEntries({NodeAtPath(*tree, "s")});
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, true, false))), "");
    EXPECT_EQ(tree->unreadableError(p), EACCES) << "the slot left behind";
    EXPECT_NE(tree->successor(p), p);

    tree->removeEntries({tree->successor(u)});
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, false, false))), "");
    EXPECT_EQ(tree->unreadableError(u), EPERM);

    // q read again: r can be read now, and holds a folder that cannot.
    TreeBuilder q("/top/q");
    const NodeIndex r = q.add(0, "r", NodeKind::Folder);
    const NodeIndex v = q.add(r, "v", NodeKind::Folder);
    q.tree->markUnreadable(v, ENOENT);
    tree->replaceFolder(NodeAtPath(*tree, "q"), *q.finish());
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, false, true))), "");

    // p read again, still closed, then open and empty.
    TreeBuilder closed("/top/p");
    closed.tree->markUnreadable(0, EACCES);
    tree->replaceFolder(NodeAtPath(*tree, "p"), *closed.finish());
    EXPECT_EQ(tree->unreadableError(NodeAtPath(*tree, "p")), EACCES);
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, false, true))), "");
    tree->replaceFolder(NodeAtPath(*tree, "p"), *TreeBuilder("/top/p").finish());
    EXPECT_EQ(JoinLines(TreeDifferences(*tree, *build(false, false, true, true))), "");
}

} // namespace
