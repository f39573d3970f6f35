#include "TreeOrder.h"
#include "CatalogFields.h"
#include "CatalogTree.h"
#include "LocaleAndZone.h"
#include "MergeSort.h"
#include "NodeLists.h"
#include "NodeOrder.h"
#include "RangeStatistics.h"
#include "TCatalogNode.h"
#include "TreeBuilder.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// /t
//   b.txt   file 10
//   A       folder 5: z (file 1), y (file 4)
//   c       file 2
//   d       folder 50 (empty)
//   e       file, no size
std::shared_ptr<CatalogTree> makeTree()
{
    auto tree = std::make_shared<CatalogTree>();
    tree->addTop("/t");
    const auto add = [&](NodeIndex parent, const char *name, NodeKind kind,
                         std::optional<std::uint64_t> size) {
        const NodeIndex i = tree->appendChild(parent, name, std::strlen(name));
        CatalogNodeData &n = tree->node(i);
        n.setKind(kind);
        n.set(CatalogNodeData::HasDetails);
        if (size) {
            n.size = *size;
            n.set(CatalogNodeData::HasSize);
        }
        return i;
    };
    add(0, "b.txt", NodeKind::File, 10);
    const NodeIndex a = add(0, "A", NodeKind::Folder, 5);
    add(0, "c", NodeKind::File, 2);
    add(0, "d", NodeKind::Folder, 50);
    add(0, "e", NodeKind::File, std::nullopt);
    add(a, "z", NodeKind::File, 1);
    add(a, "y", NodeKind::File, 4);
    tree->node(0).size = 67;
    tree->node(0).set(CatalogNodeData::HasSize);
    tree->setPercentageTotal(67.0);
    return tree;
}

std::vector<std::string> childNames(const CatalogTree &tree, const TreeOrder &order, NodeIndex parent)
{
    std::vector<std::string> names;
    for (std::uint32_t row = 0; row < tree.childCount(parent); ++row)
        names.push_back(tree.name(order.childAt(tree, parent, row)).toStdString());
    return names;
}

void expectConsistent(const CatalogTree &tree, const TreeOrder &order)
{
    EXPECT_EQ(order.rowOf(0), 0u);
    for (NodeIndex parent = 0; parent < tree.nodeCount(); ++parent) {
        std::vector<NodeIndex> seen;
        for (std::uint32_t row = 0; row < tree.childCount(parent); ++row) {
            const NodeIndex child = order.childAt(tree, parent, row);
            EXPECT_EQ(tree.parent(child), parent);
            EXPECT_EQ(order.rowOf(child), row);
            seen.push_back(child);
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
    }
}

using Names = std::vector<std::string>;

TEST(TreeOrder, StartsInScanOrder)
{
    const auto tree = makeTree();
    const TreeOrder order(*tree);
    EXPECT_EQ(childNames(*tree, order, 0), (Names {"b.txt", "A", "c", "d", "e"}));
    EXPECT_EQ(childNames(*tree, order, 2), (Names {"z", "y"}));
    expectConsistent(*tree, order);
}

TEST(TreeOrder, SortsEverySiblingListFoldersFirst)
{
    const auto tree = makeTree();
    const struct
    {
        int field;
        Qt::SortOrder order;
        Names top;
        Names inA;
    } cases[] = {
        {FileName, Qt::AscendingOrder, {"A", "d", "b.txt", "c", "e"}, {"y", "z"}},
        {FileName, Qt::DescendingOrder, {"d", "A", "e", "c", "b.txt"}, {"z", "y"}},
        {FileBytes, Qt::AscendingOrder, {"A", "d", "e", "c", "b.txt"}, {"z", "y"}},
        {FileBytes, Qt::DescendingOrder, {"d", "A", "b.txt", "c", "e"}, {"y", "z"}},
    };
    for (const auto &c : cases) {
        TreeOrder order(*tree);
        order.sortBy(*tree, c.field, c.order);
        EXPECT_EQ(childNames(*tree, order, 0), c.top) << c.field << " " << c.order;
        EXPECT_EQ(childNames(*tree, order, 2), c.inA) << c.field << " " << c.order;
        expectConsistent(*tree, order);
    }
}

TEST(TreeOrder, SortsAgainFromAnyOrder)
{
    const auto tree = makeTree();
    TreeOrder order(*tree);
    order.sortBy(*tree, FileBytes, Qt::DescendingOrder);
    order.sortBy(*tree, FileName, Qt::AscendingOrder);
    EXPECT_EQ(childNames(*tree, order, 0), (Names {"A", "d", "b.txt", "c", "e"}));
    order.sort(*tree, [](NodeIndex a, NodeIndex b) { return a > b ? -1 : 1; });
    EXPECT_EQ(childNames(*tree, order, 0), (Names {"e", "d", "c", "A", "b.txt"}));
    expectConsistent(*tree, order);
}

// Whatever the comparison answers, the sort ends and keeps every item once.
TEST(MergeSort, KeepsEveryItemWhateverTheComparisonAnswers)
{
    std::mt19937 random(7);
    for (const int size : {0, 1, 2, 3, 17, 100}) {
        std::vector<int> items(std::size_t(size), 0);
        for (int i = 0; i < size; ++i)
            items[std::size_t(i)] = i;
        for (const auto &answer : std::vector<std::function<int(int, int)>> {[](int, int) { return 1; },
                 [](int, int) { return -1; }, [&random](int, int) { return int(random() % 3) - 1; }}) {
            std::vector<int> sorted = items;
            MergeSort(sorted, answer);
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, items) << size;
        }
    }
    // Stable for results <= 0: equal numbers (-1) keep their order.
    std::vector<int> equal {3, 1, 2};
    MergeSort(equal, [](int, int) { return -1; });
    EXPECT_EQ(equal, (std::vector<int> {3, 1, 2}));
}

// The sort of long lists, with less scratch room, puts items in the order of the sort
// with a whole buffer: with half the room for any comparison, with less for those
// that are strict weak orders (numbers whose ties answer -1, kinds first then keys);
// kinds first with every pair of a kind answering 1, or answers that follow no
// order, only with half.
TEST(MergeSort, LessRoomSameOrder)
{
    struct Item
    {
        int key;
        int kind;
        int id;
    };
    const struct
    {
        std::function<int(const Item &, const Item &)> compare;
        bool strict;
    } comparisons[] = {
        {[](const Item &a, const Item &b) { return a.key > b.key ? 1 : -1; }, true},
        {[](const Item &a, const Item &b) {
             return a.kind != b.kind ? (a.kind < b.kind ? -1 : 1)
                 : a.key == b.key    ? 0
                 : a.key < b.key     ? -1
                                     : 1;
         },
            true},
        {[](const Item &a, const Item &b) { return a.kind != b.kind ? (a.kind < b.kind ? -1 : 1) : 1; },
            false},
        // No order at all: an answer that depends on the pair only.
        {[](const Item &a, const Item &b) { return (a.id * 31 + b.id * 17) % 3 - 1; }, false},
    };
    std::mt19937 random(3);
    for (const std::size_t size : {0, 1, 2, 3, 5, 6, 7, 9, 31, 33, 100, 1000, 1025}) {
        std::vector<Item> items(size);
        for (std::size_t i = 0; i < size; ++i)
            items[i] = {int(random() % 7), int(random() % 2), int(i)};
        for (std::size_t c = 0; c < std::size(comparisons); ++c) {
            std::vector<Item> whole = items, buffer(size);
            MergeSort(whole.data(), size, buffer.data(), comparisons[c].compare);
            const auto ids = [](const std::vector<Item> &sorted) {
                std::vector<int> out;
                for (const Item &item : sorted)
                    out.push_back(item.id);
                return out;
            };
            for (const std::size_t room : {std::size_t(0), std::size_t(1), std::size_t(3), size / 8}) {
                if (room != 0 && !comparisons[c].strict)
                    continue;
                std::vector<Item> less = items;
                MergeSort(less, comparisons[c].compare, room);
                EXPECT_EQ(ids(less), ids(whole))
                    << "size " << size << " comparison " << c << " room " << room;
            }
        }
    }
}

std::vector<std::string> texts(const std::vector<TCatalogNode> &rows, int field)
{
    std::vector<std::string> out;
    for (const TCatalogNode &row : rows)
        out.push_back(row.text(field).toStdString());
    return out;
}

TEST(NodeLists, CurrentFolderRowsInTheTreesOrderWithTheirOwnPercentages)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const std::shared_ptr<const CatalogTree> tree = makeTree();
    TreeOrder order(*tree);
    order.sortBy(*tree, FileBytes, Qt::DescendingOrder);

    const std::vector<TCatalogNode> rows = PathListRows(tree, order, 0).records();
    EXPECT_EQ(texts(rows, FileName), (Names {"d", "A", "b.txt", "c", "e"}));
    // 50, 5, 10 and 2 of 67 bytes; a row with no size counts 0 and shows none.
    EXPECT_EQ(texts(rows, SizePercentage), (Names {"74.63", "7.46", "14.93", "2.99", ""}));

    // A folder's rows are a share of that folder's list, not of the scan.
    EXPECT_EQ(texts(PathListRows(tree, order, 2).records(), SizePercentage), (Names {"80.00", "20.00"}));
    // The Total Tree keeps the scan's total.
    EXPECT_EQ(tree->fieldText(6, SizePercentage).toStdString(), "1.49");
}

TEST(NodeLists, AFileIsItsOwnList)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const std::shared_ptr<const CatalogTree> tree = makeTree();
    const TreeOrder order(*tree);
    const std::vector<TCatalogNode> rows = PathListRows(tree, order, 1).records();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].index(), 1u);
    EXPECT_EQ(rows[0].text(SizePercentage).toStdString(), "100.00");
}

TEST(NodeLists, ListsOfNothingButEmptyFilesShowZero)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    auto tree = std::make_shared<CatalogTree>();
    tree->addTop("/z");
    for (const char *name : {"a", "b"}) {
        CatalogNodeData &n = tree->node(tree->appendChild(0, name, 1));
        n.setKind(NodeKind::File);
        n.set(CatalogNodeData::HasSize);
    }
    NodeRows rows {tree, {1, 2}, std::nullopt};
    UpdatePercentages(rows);
    EXPECT_EQ(texts(rows.records(), SizePercentage), (Names {"0", "0"}));
}

// A tree of random names, sizes and write times below `top`, `levels` deep.
std::shared_ptr<CatalogTree> randomTree(const QByteArray &top, std::mt19937 &random, int levels)
{
    TreeBuilder t(top);
    std::vector<std::pair<NodeIndex, int>> folders {{0, 0}};
    int serial = 0;
    for (std::size_t k = 0; k < folders.size(); ++k) {
        const auto [folder, depth] = folders[k];
        const int children = int(random() % 7);
        for (int c = 0; c < children; ++c) {
            const bool isFolder = depth < levels && random() % 3 == 0;
            // Short names from few letters: equal keys meet often.
            const std::string name = std::string(1, char('a' + random() % 3)) + std::to_string(serial++);
            const std::string shown = random() % 4 == 0 ? name + name : name;
            const NodeIndex n = t.add(folder, shown.c_str(), isFolder ? NodeKind::Folder : NodeKind::File,
                isFolder ? 0 : random() % 4);
            t.tree->node(n).writeTime = std::int64_t(random() % 3) * 86400;
            t.tree->node(n).set(CatalogNodeData::HasWriteTime);
            if (isFolder)
                folders.emplace_back(n, depth + 1);
        }
    }
    return t.finish();
}

// After every edit, updating the order for the folders the edit changed gives what
// a whole sort of the edited tree gives, and the lists walked in it see the tree as
// it stands.
TEST(TreeOrder, FollowsEditsAsAWholeSortWould)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const struct
    {
        int field;
        Qt::SortOrder order;
    } sorts[] = {
        {FileName, Qt::AscendingOrder},
        {FileBytes, Qt::DescendingOrder},
        {PathNameLength, Qt::AscendingOrder},
        {WriteTime, Qt::DescendingOrder},
        {FullPath, Qt::DescendingOrder},
        {FileType, Qt::AscendingOrder},
    };
    for (const auto &s : sorts) {
        std::mt19937 random(unsigned(11 + s.field));
        const auto tree = randomTree("/r", random, 4);
        TreeOrder order(*tree);
        order.sortBy(*tree, s.field, s.order);
        for (int step = 0; step < 12; ++step) {
            std::vector<NodeIndex> live;
            for (NodeIndex n = 1; n < tree->nodeCount(); ++n) {
                if (!tree->isRetired(n))
                    live.push_back(n);
            }
            std::vector<NodeIndex> changed;
            if (step % 3 == 2) {
                std::vector<NodeIndex> folders {0};
                for (const NodeIndex n : live) {
                    if (tree->isFolder(n))
                        folders.push_back(n);
                }
                const NodeIndex folder = folders[random() % folders.size()];
                changed = tree->replaceFolder(folder, *randomTree(tree->fullPathBytes(folder), random, 2));
            } else if (!live.empty()) {
                std::vector<NodeIndex> gone;
                for (int k = 0; k < 3; ++k)
                    gone.push_back(live[random() % live.size()]);
                changed = tree->removeEntries(gone);
            }
            order.update(*tree, changed, s.field, s.order);

            TreeOrder whole(*tree);
            whole.sortBy(*tree, s.field, s.order);
            TreeOrder byComparison(*tree);
            byComparison.sort(*tree, [&](NodeIndex a, NodeIndex b) {
                const int r = CompareTreeNodes(*tree, a, b, s.field, s.order);
                return s.order == Qt::AscendingOrder ? r : -r;
            });
            expectConsistent(*tree, order);
            // What walks the tree in this order meets every live file and no retired slot.
            std::uint64_t files = 0;
            for (NodeIndex n = 0; n < tree->nodeCount(); ++n)
                files += !tree->isRetired(n) && tree->isFile(n) ? 1 : 0;
            const std::vector<TCatalogNode> slice =
                SliceListRows(tree, order, 0, SliceKind::Size, QStringLiteral("0")).records();
            EXPECT_EQ(slice.size(), files) << "step " << step;
            EXPECT_EQ(CountStatistics(*tree, 0, &order).size, std::vector<std::uint64_t> {files})
                << "step " << step;
            for (const TCatalogNode &row : slice)
                EXPECT_FALSE(tree->isRetired(row.index()));
            // Path lengths made parent by parent, over a tree whose folders moved.
            const std::vector<double> lengths = NumberKeys(*tree, PathNameLength);
            for (NodeIndex n = 0; n < tree->nodeCount(); ++n)
                EXPECT_EQ(lengths[n], NumberKey(*tree, n, PathNameLength))
                    << "step " << step << " node " << n;
            for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
                if (tree->isRetired(n))
                    continue;
                EXPECT_EQ(childNames(*tree, order, n), childNames(*tree, whole, n))
                    << "field " << s.field << " step " << step << " folder " << tree->name(n).toStdString();
                EXPECT_EQ(childNames(*tree, whole, n), childNames(*tree, byComparison, n))
                    << "field " << s.field << " step " << step << " folder " << tree->name(n).toStdString();
            }
        }
    }
}

} // namespace
