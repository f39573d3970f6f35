#include "NodeOrder.h"
#include "CatalogFields.h"
#include "CatalogText.h"
#include "CatalogTree.h"
#include "LocaleAndZone.h"
#include "MergeSort.h"
#include "NodeLists.h"
#include "RowsOf.h"
#include "TCatalogNode.h"
#include "TreeOrder.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using F = CatalogNodeData;

struct Entry
{
    const char *name;
    NodeKind kind;
    std::optional<std::uint64_t> size;
    std::optional<std::int64_t> write;
    std::optional<std::int64_t> create = std::nullopt;
    bool details = true;
};

void fill(CatalogTree &tree, NodeIndex i, const Entry &e)
{
    CatalogNodeData &n = tree.node(i);
    n.setKind(e.kind);
    if (e.size) {
        n.size = *e.size;
        n.set(F::HasSize);
    }
    if (e.write) {
        n.writeTime = *e.write;
        n.set(F::HasWriteTime);
    }
    if (e.create) {
        n.createTime = *e.create;
        n.set(F::HasCreateTime);
    }
    if (e.details)
        n.set(F::HasDetails);
}

NodeIndex add(CatalogTree &tree, NodeIndex parent, const Entry &e)
{
    const NodeIndex i = tree.appendChild(parent, e.name, std::strlen(e.name));
    fill(tree, i, e);
    return i;
}

// The nodes of `rows` at the given rows, in that order.
std::vector<NodeIndex> nodesAt(const NodeRows &rows, const std::vector<int> &at)
{
    std::vector<NodeIndex> out;
    for (const int row : at)
        out.push_back(rows.nodes[std::size_t(row)]);
    return out;
}

constexpr std::int64_t T0 = 1700000000; // 2023-11-14 22:13:20 UTC
constexpr std::int64_t FallBack = 1730611800; // 2024-11-03 05:30 UTC: 01:30 EDT in New York
constexpr std::int64_t AfterFallBack = 1730614500; // 06:15 UTC: 01:15 EST, an earlier local text
constexpr std::int64_t Midnight = 1704067200; // 2024-01-01 00:00:00 UTC

} // namespace

// A scan with files and folders, equal and different sizes, empty, equal, far and
// unreadable time stamps, names that differ in case, an underscore against a Z, a
// name that is not UTF-8, a folder that could not be read and an entry of unknown
// kind; on request a name that starts with a byte order mark.
std::shared_ptr<CatalogTree> MakeMixedTree(bool byteOrderMark = true)
{
    auto tree = std::make_shared<CatalogTree>();
    tree->addTop("/data");
    fill(*tree, 0, {"", NodeKind::Folder, 4000300, T0, std::nullopt, false});
    const Entry top[] = {
        {"alpha", NodeKind::Folder, 300, T0, T0 - 5},
        {"Beta", NodeKind::Folder, 300, std::nullopt, T0 - 5},
        {"abc.txt", NodeKind::File, 9, T0, T0},
        {"ABD.TXT", NodeKind::File, 10, T0 + 1},
        {"_x", NodeKind::File, 10, T0, T0 + 100},
        {"Zx", NodeKind::File, 0, T0 + 200 * 86400},
        {"broken", NodeKind::Folder, std::nullopt, std::nullopt},
        {"ghost", NodeKind::Unknown, std::nullopt, std::nullopt, std::nullopt, false},
        {"\xC3\xA9.txt", NodeKind::File, 1048576, FallBack},
        {"\xC3\x89.TXT", NodeKind::File, 5, AfterFallBack},
        {"nodetails", NodeKind::File, 123401, Midnight, std::nullopt, false},
        {"\xFF\xFE.bin", NodeKind::File, 123404, Midnight + 1},
        {"far.future", NodeKind::File, 2000000, 16725225600}, // 2500-01-01
        {"long.ago", NodeKind::File, 7, -5364662400}, // 1800-01-01
        {"beyond", NodeKind::File, 400000, 315537897600}, // 12000-01-01
        {"never", NodeKind::File, 1, std::numeric_limits<std::int64_t>::max()},
    };
    for (const Entry &e : top)
        add(*tree, 0, e);
    tree->markUnreadable(7, 13);

    const NodeIndex alpha = 1;
    add(*tree, alpha, {"x.dat", NodeKind::File, 9, T0});
    add(*tree, alpha, {"Y.dat", NodeKind::File, 291, T0 + 60});
    add(*tree, alpha,
        {byteOrderMark ? "\xEF\xBB\xBF"
                         "bom"
                       : "bom",
            NodeKind::File, 0, T0});
    add(*tree, alpha, {"longname_\xC3\xA9", NodeKind::File, 0, T0});
    add(*tree, alpha, {"LONGNAME_a", NodeKind::File, 0, T0});
    // UTF-16 order: a character beyond 16 bits (a surrogate pair) before U+FF21.
    add(*tree, alpha, {"\xF0\x9F\x98\x80", NodeKind::File, 0, T0});
    add(*tree, alpha, {"\xEF\xBC\xA1", NodeKind::File, 0, T0});
    // Shares of about 0.005% and 0.015%: how the text rounds a tie decides.
    add(*tree, alpha, {"tie1", NodeKind::File, 50, T0});
    add(*tree, alpha, {"tie2", NodeKind::File, 100, T0});
    add(*tree, alpha, {"tie3", NodeKind::File, 150, T0});
    const NodeIndex sub = add(*tree, alpha, {"sub", NodeKind::Folder, 0, T0});
    add(*tree, sub, {"abc.txt", NodeKind::File, 0, T0});
    tree->node(sub).subtreeCount = 2;
    tree->node(alpha).subtreeCount = 13;
    tree->node(0).subtreeCount = std::uint32_t(tree->nodeCount());
    tree->setPercentageTotal(1000000.0);
    return tree;
}

namespace {

int sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

// Three files whose sizes, size ranges, names and write times order differently as
// numbers, as texts and as moments: each field orders them by its own nature, in the
// tree sort, the list sort and the comparison alike.
TEST(NodeOrder, EachFieldOrdersByItsNature)
{
    LocaleAndZone pin(QLocale(QLocale::English, QLocale::UnitedKingdom), "UTC");
    auto tree = std::make_shared<CatalogTree>();
    tree->addTop("/n");
    fill(*tree, 0, {"", NodeKind::Folder, 119, T0});
    // Day/month texts: "10/01/2024" sorts before "09/02/2024" as a text, after it as a time.
    const NodeIndex nine = add(*tree, 0, {"b9", NodeKind::File, 9, Midnight + 40 * 86400});
    const NodeIndex ten = add(*tree, 0, {"C10", NodeKind::File, 10, Midnight + 9 * 86400});
    const NodeIndex hundred = add(*tree, 0, {"a100", NodeKind::File, 100, Midnight + 100 * 86400});
    tree->node(0).subtreeCount = 4;
    tree->setPercentageTotal(119.0);
    // Bounds 1 to 11: sizes 9, 10 and 100 fall in ranges 9, 10 and 11, texts "9", "10", "11".
    std::vector<double> bounds;
    for (int b = 1; b <= 11; ++b)
        bounds.push_back(b);
    tree->setClassification({bounds, {1.0}, T0});

    const struct
    {
        int field;
        std::vector<NodeIndex> ascending;
    } cases[] = {
        {FileBytes, {nine, ten, hundred}}, // numbers: 9 < 10 < 100
        {SizePercentage, {nine, ten, hundred}}, // numbers too
        {SizeRange, {ten, hundred, nine}}, // texts: "10" < "11" < "9"
        {FileName, {hundred, nine, ten}}, // texts, ASCII case folded: a < b < C
        {WriteTime, {ten, nine, hundred}}, // moments, not their texts
    };
    for (const auto &c : cases) {
        TreeOrder order(*tree);
        order.sortBy(*tree, c.field, Qt::AscendingOrder);
        std::vector<NodeIndex> sorted;
        for (std::uint32_t row = 0; row < 3; ++row)
            sorted.push_back(order.childAt(*tree, 0, row));
        EXPECT_EQ(sorted, c.ascending) << "tree, field " << c.field;

        std::vector<TCatalogNode> rows;
        for (const NodeIndex i : {hundred, nine, ten})
            rows.emplace_back(tree, i);
        NodeRows listed = RowsOf(rows);
        SortRows(listed, c.field, Qt::AscendingOrder);
        EXPECT_EQ(listed.nodes, c.ascending) << "list, field " << c.field;

        EXPECT_EQ(CompareTreeNodes(*tree, c.ascending[0], c.ascending[2], c.field, Qt::AscendingOrder), -1)
            << c.field;
    }
}

TEST(NodeOrder, NumbersInTheUsersFormat)
{
    const struct
    {
        const char *locale;
        const char *text;
        bool number;
    } cases[] = {
        {"en_US", "", false},
        {"en_US", "12", true},
        {"en_US", " 12.5 ", true},
        {"en_US", "-3", true},
        {"en_US", "1e3", true},
        {"en_US", "1,000", false},
        {"en_US", "abc", false},
        {"en_US", "12abc", false},
        {"en_US", "inf", false},
        {"en_US", "1e999", false},
        {"de_DE", "12,5", true},
        {"de_DE", "1.000", false},
    };
    for (const auto &c : cases) {
        LocaleAndZone pin(QLocale(QString::fromLatin1(c.locale)), "UTC");
        EXPECT_EQ(IsNumber(QString::fromUtf8(c.text)), c.number) << c.locale << " '" << c.text << "'";
    }
}

TEST(NodeOrder, NumberTexts)
{
    LocaleAndZone pin(QLocale(QLocale::English, QLocale::UnitedStates), "UTC");
    const struct
    {
        const char *a;
        const char *b;
        int result;
    } cases[] = {
        {"9", "10", -1},
        {"10", "9", 1}, // numbers, not text order
        {"5", "5", -1},
        {"0", "0", -1}, // equal is never 0
        {"", "0", -1},
        {"0", "", -1}, // empty counts as 0
        {"abc", "1", -1},
        {"1", "abc", 1}, // so does a non-number
        {"-1", "", -1},
        {"12.35", "12.34", 1},
        {"1,000", "5", -1},
        {"18446744073709551615", "1", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CompareNumberTexts(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.result)
            << c.a << " vs " << c.b;
}

TEST(NodeOrder, DateTexts)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const auto &format = CatalogText::TimeFormat::current();
    const QString t = format.format(T0);
    const QString later = format.format(T0 + 1);
    const QString midnight = format.format(Midnight);
    const QDateTime moment = QDateTime::fromSecsSinceEpoch(T0, Qt::UTC);
    const struct
    {
        QString a;
        QString b;
        int result;
    } cases[] = {
        {QString(), later, -1},
        {QString(), QString(), -1}, // an empty first is smaller even than empty
        {t, QString(), 1},
        {t, later, -1},
        {later, t, 1},
        {t, t, 0},
        // Less than a millisecond apart: equal.
        {format.format(moment.addMSecs(0)), format.format(moment), 0},
        {midnight, format.format(Midnight + 1), -1}, // the date alone reads as midnight
        {QStringLiteral("not a time"), t, 1},
        {t, QStringLiteral("not a time"), 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CompareDateTexts(c.a, c.b), c.result) << c.a.toStdString() << " vs " << c.b.toStdString();
    ASSERT_FALSE(midnight.contains(u':')) << midnight.toStdString();
}

TEST(NodeOrder, TextsFoldAsciiLettersOnly)
{
    const struct
    {
        const char *a;
        const char *b;
        int result;
    } cases[] = {
        {"abc", "ABD", -1}, {"ABD", "abc", 1}, {"abc", "ABC", 0}, {"_a", "Za", 1},
        {"Z", "_", -1}, // '_' (95) after 'Z' (90)
        {"_", "z", 1}, // 'z' folds to 'Z'
        {"\xC3\xA9", "\xC3\x89", 1}, // é and É are not folded
        {"ab", "abc", -1}, {"", "", 0}, {"", "a", -1}, {"abcdefghij", "ABCDEFGHIK", -1},
        {"abcdefgh", "abcdefg", 1}, {"short", "shorter", -1}, {"12345678\xC3\xA9", "12345678e", 1},
        {"abcdefghijklmnopQ", "ABCDEFGHIJKLMNOPr", -1}, {"abcdefghijklmnop", "abcdefghijklmno", 1},
        {"abcdefghijklm\xC3\xA9", "abcdefghijklmz", 1}, {"abcdefghijklmnop\xC3\xA9", "abcdefghijklmnopz", 1},
        {"ab\xC3\xA9", "abz", 1},
        // Decided by the folded ASCII bytes before the first byte that is not ASCII,
        // or by the bytes themselves after it.
        {"ab\xC3\xA9", "AC\xC3\xA9", -1}, {"b\xC3\xA9", "a\xD0\xB4", 1}, {"ab", "ab\xC3\xA9", -1},
        {"ab\xC3\xA9", "AB\xC3\xA9", 0}, {"ab\xC3\xA9x", "ab\xC3\xA9y", -1},
        {"abcdefghij\xC3\xA9", "ABCDEFGHIK\xC3\xA9", -1}, {"tmp.json", "TMP.JSON", 0},
        {"abcdefghijklmno", "ABCDEFGHIJKLMNO", 0}, {"abcdefghijklmnop", "ABCDEFGHIJKLMNOP", 0},
        {"abcdefghijklmnop\xEF\xBB\xBFz", "abcdefghijklmnopz", 1}, // U+FEFF after 16 ASCII is a character
        {"\xF0\x9F\x98\x80", "\xEF\xBC\xA1", -1}, // code units, not code points
        {"\xFF", "\xEF\xBF\xBD", 0}, // not UTF-8: a replacement character
    };
    for (const auto &c : cases) {
        const QString a = QString::fromUtf8(c.a), b = QString::fromUtf8(c.b);
        EXPECT_EQ(sign(CompareTexts(a, b)), c.result) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(CompareNameBytes(QByteArrayView(c.a), QByteArrayView(c.b))), c.result)
            << c.a << " vs " << c.b;
        EXPECT_EQ(
            sign(CompareNameKeys(NameKeyOf(QByteArrayView(c.a)), NameKeyOf(QByteArrayView(c.b)))), c.result)
            << c.a << " vs " << c.b;
    }
}

TEST(NodeOrder, FoldersFirstInBothDirections)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const std::shared_ptr<const CatalogTree> tree = MakeMixedTree();
    const TCatalogNode folder(tree, 1), file(tree, 3), ghost(tree, 8);
    for (int field = 0; field < CatalogFieldCount; ++field) {
        for (const auto &compare : {CompareNodes, CompareNodeTexts}) {
            // Ascending puts the smaller first; descending negates the result.
            EXPECT_EQ(compare(folder, file, field, Qt::AscendingOrder), -1) << field;
            EXPECT_EQ(compare(file, folder, field, Qt::AscendingOrder), 1) << field;
            EXPECT_EQ(-compare(folder, file, field, Qt::DescendingOrder), -1) << field;
            EXPECT_EQ(-compare(file, folder, field, Qt::DescendingOrder), 1) << field;
            EXPECT_EQ(compare(folder, ghost, field, Qt::AscendingOrder), -1) << field;
        }
    }
}

TEST(NodeOrder, FileTypeFieldIsAlwaysGreater)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const std::shared_ptr<const CatalogTree> tree = MakeMixedTree();
    const TCatalogNode a(tree, 3), b(tree, 4);
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        EXPECT_EQ(CompareNodes(a, b, FileType, order), 1);
        EXPECT_EQ(CompareNodes(b, a, FileType, order), 1);
        EXPECT_EQ(CompareNodes(a, a, FileType, order), 1);
    }
}

TEST(NodeOrder, RowsOfOneListCompareTheirOwnPercentages)
{
    LocaleAndZone pin(QLocale::c(), "UTC");
    const std::shared_ptr<const CatalogTree> tree = MakeMixedTree();
    // 9 of a list of 10 bytes against 10 of the scan's million: the rows' own totals decide.
    TCatalogNode small(tree, 3), large(tree, 4);
    small.setListTotal(10.0);
    EXPECT_EQ(CompareNodes(small, large, SizePercentage, Qt::AscendingOrder), 1);
}

// The typed comparison of one scan gives the sign of the comparison of the texts,
// for every pair of nodes, every field and both directions, in locales and time
// zones where texts and moments part ways (a clock turned back, a comma as
// decimal separator).
TEST(NodeOrder, TypedComparisonAgreesWithTexts)
{
    const struct
    {
        QLocale locale;
        const char *zone;
    } settings[] = {
        {QLocale::c(), "UTC"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "America/New_York"},
        {QLocale(QLocale::German, QLocale::Germany), "Europe/Berlin"},
    };
    for (const auto &setting : settings) {
        LocaleAndZone pin(setting.locale, setting.zone);
        const std::shared_ptr<const CatalogTree> tree = MakeMixedTree();
        const auto count = NodeIndex(tree->nodeCount());
        for (int field = 0; field < CatalogFieldCount; ++field) {
            for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                for (NodeIndex a = 0; a < count; ++a) {
                    for (NodeIndex b = 0; b < count; ++b) {
                        const TCatalogNode ra(tree, a), rb(tree, b);
                        const int byText = sign(CompareNodeTexts(ra, rb, field, order));
                        EXPECT_EQ(sign(CompareTreeNodes(*tree, a, b, field, order)), byText)
                            << setting.zone << " field " << field << " order " << order << ": "
                            << ra.text(field).toStdString() << " vs " << rb.text(field).toStdString();
                        EXPECT_EQ(sign(CompareNodes(ra, rb, field, order)), byText);
                    }
                }
            }
        }
    }
}

// The keys a whole-tree sort makes once give the order of CompareTreeNodes.
TEST(NodeOrder, TreeSortKeysAgreeWithTypedComparison)
{
    const struct
    {
        QLocale locale;
        const char *zone;
        bool byteOrderMark;
    } settings[] = {
        {QLocale::c(), "UTC", true},
        {QLocale::c(), "UTC", false}, // paths compared by their names alone
        {QLocale(QLocale::English, QLocale::UnitedStates), "America/New_York", false},
    };
    for (const auto &setting : settings) {
        LocaleAndZone pin(setting.locale, setting.zone);
        const std::shared_ptr<const CatalogTree> tree = MakeMixedTree(setting.byteOrderMark);
        for (int field = 0; field < CatalogFieldCount; ++field) {
            for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                TreeOrder byKeys(*tree), byComparison(*tree);
                byKeys.sortBy(*tree, field, order);
                byComparison.sort(*tree, [&](NodeIndex a, NodeIndex b) {
                    const int r = CompareTreeNodes(*tree, a, b, field, order);
                    return order == Qt::AscendingOrder ? r : -r;
                });
                for (NodeIndex node = 0; node < tree->nodeCount(); ++node)
                    EXPECT_EQ(byKeys.rowOf(node), byComparison.rowOf(node))
                        << setting.zone << " field " << field << " order " << order << " node " << node;
            }
        }
    }
}

// A list sorted with keys made once per row is in the order MergeSort with
// CompareNodes gives, with the scan's percentages and with the list's own total.
TEST(NodeOrder, ListRowsSortedByKeysAsByCompareNodes)
{
    for (const char *zone : {"UTC", "America/New_York"}) {
        LocaleAndZone pin(QLocale(QLocale::English, QLocale::UnitedStates), zone);
        const std::shared_ptr<const CatalogTree> tree = MakeMixedTree();
        for (const std::optional<double> total : {std::optional<double>(), std::optional<double>(4000.0)}) {
            NodeRows list {tree, {}, total};
            for (NodeIndex i = 0; i < tree->nodeCount(); ++i)
                list.nodes.push_back(i);
            std::shuffle(list.nodes.begin(), list.nodes.end(), std::mt19937(11));
            const std::vector<TCatalogNode> rows = list.records();

            for (int field = 0; field <= CatalogFieldCount; ++field) {
                for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                    std::vector<int> expected(rows.size());
                    for (std::size_t i = 0; i < rows.size(); ++i)
                        expected[i] = int(i);
                    const int sign = order == Qt::AscendingOrder ? 1 : -1;
                    MergeSort(expected, [&](int a, int b) {
                        return sign * CompareNodes(rows[std::size_t(a)], rows[std::size_t(b)], field, order);
                    });
                    NodeRows sorted = list;
                    SortRows(sorted, field, order);
                    EXPECT_EQ(sorted.nodes, nodesAt(list, expected))
                        << zone << " field " << field << " order " << order << (total ? " total" : "");
                }
            }
        }
    }
}

// Sorts by name read only a name's first sixteen bytes unless the names are alike that
// far: names alike but for case, ending within those bytes or after, with bytes that
// are not UTF-8 or U+FEFF just after.
TEST(NodeOrder, NamesAlikeInTheirFirstBytesSortAsTheirTexts)
{
    const char *names[] = {"samefold_1.txt", "SAMEFOLD_10.txt", "samefold", "SameFolD", "samefol",
        "abcdefgh\xEF\xBB\xBFx", "abcdefgh\xEF\xBB\xBF", "abcdefghZ", "ABCDEFGH\xFF", "abcdefgh\xC3\xA9",
        "abcdefg\xC3\xA9", "aaaaaaaaaaaaaaaab.a", "AAAAAAAAAAAAAAAAA.A", "aaaaaaaaaaaaaaaa\xEF\xBB\xBF.b",
        "aaaaaaaaaaaaaaaa\xFE", "aaaaaaaaaaaaaaaa"};
    auto made = std::make_shared<CatalogTree>();
    made->addTop("/n");
    fill(*made, 0, {"", NodeKind::Folder, 0, T0});
    for (const char *name : names)
        add(*made, 0, {name, NodeKind::File, 1, T0});
    made->node(0).subtreeCount = std::uint32_t(made->nodeCount());
    const std::shared_ptr<const CatalogTree> tree = made;
    NodeRows list {tree, {}, std::nullopt};
    for (NodeIndex i = 1; i < tree->nodeCount(); ++i)
        list.nodes.push_back(i);
    std::shuffle(list.nodes.begin(), list.nodes.end(), std::mt19937(5));
    const std::vector<TCatalogNode> rows = list.records();
    for (const int field : {int(FileName), int(FileExt)}) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            const int sign = order == Qt::AscendingOrder ? 1 : -1;
            std::vector<int> expected(rows.size());
            for (std::size_t i = 0; i < rows.size(); ++i)
                expected[i] = int(i);
            MergeSort(expected, [&](int a, int b) {
                return sign * CompareNodes(rows[std::size_t(a)], rows[std::size_t(b)], field, order);
            });
            NodeRows sorted = list;
            SortRows(sorted, field, order);
            EXPECT_EQ(sorted.nodes, nodesAt(list, expected)) << field << " " << order;

            TreeOrder byKeys(*tree), byComparison(*tree);
            byKeys.sortBy(*tree, field, order);
            byComparison.sort(*tree,
                [&](NodeIndex a, NodeIndex b) { return sign * CompareTreeNodes(*tree, a, b, field, order); });
            for (NodeIndex node = 1; node < tree->nodeCount(); ++node)
                EXPECT_EQ(byKeys.rowOf(node), byComparison.rowOf(node))
                    << field << " " << order << " " << node;
        }
    }
}

} // namespace
