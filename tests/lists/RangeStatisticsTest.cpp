#include "RangeStatistics.h"

#include "CatalogFields.h"
#include "CatalogTree.h"
#include "TCatalogNode.h"
#include "TConfig.h"
#include "TreeBuilder.h"
#include "TreeOrder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Failure messages show texts, not their bytes.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

constexpr std::int64_t Moment = 1'800'000'000; // the classification's "now"
constexpr std::int64_t Day = 86400;

// The ranges of the default configuration.
Ranges defaultRanges()
{
    Ranges r;
    r.age.labels = {"one day", "three days", "one week", "one month", "one year"};
    r.age.bounds = {1, 3, 7, 30, 365};
    r.size.labels = {"10KB", "100KB", "1MB", "10MB", "100MB", "1G"};
    r.size.bounds = {10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    return r;
}

void stamp(CatalogTree &tree, NodeIndex i, TimeKind kind, std::int64_t secs)
{
    CatalogNodeData &n = tree.node(i);
    switch (kind) {
    case TimeKind::Create:
        n.createTime = secs;
        n.set(CatalogNodeData::HasCreateTime);
        break;
    case TimeKind::Access:
        n.accessTime = secs;
        n.set(CatalogNodeData::HasAccessTime);
        break;
    case TimeKind::Write:
        n.writeTime = secs;
        n.set(CatalogNodeData::HasWriteTime);
        break;
    }
}

std::vector<std::string> rowNames(const std::vector<TCatalogNode> &rows)
{
    std::vector<std::string> names;
    for (const TCatalogNode &row : rows)
        names.push_back(row.text(FileName).toStdString());
    return names;
}

using Types = std::vector<std::pair<QString, std::uint64_t>>;
using Counts = std::vector<std::uint64_t>;

Types typesOf(std::initializer_list<std::pair<const char *, std::uint64_t>> entries)
{
    Types types;
    for (const auto &[name, count] : entries)
        types.emplace_back(QString::fromUtf8(name), count);
    return types;
}

// A file whose size and time stamps were never recorded (the scan saw it, statx failed).
NodeIndex addBareFile(TreeBuilder &t, NodeIndex parent, const char *name)
{
    const NodeIndex i = t.add(parent, name, NodeKind::Unknown);
    t.tree->node(i).setKind(NodeKind::File);
    t.tree->node(i).set(CatalogNodeData::HasDetails);
    return i;
}

class RangeStatisticsTest : public ::testing::Test
{
protected:
    // /t
    //   a.TXT   9999 bytes, written 12 hours ago
    //   sub/
    //     c     10000 bytes, written exactly 3 days ago
    //     d.bin 1000000000 bytes, written 400 days ago
    //   b.txt   0 bytes, written a day from now
    //   e       no size, no time stamps
    //   empty/
    // Creation and access times are those of writing, except that no file has a
    // birth time but a.TXT.
    void SetUp() override
    {
        a = t.add(0, "a.TXT", NodeKind::File, 9999);
        sub = t.add(0, "sub", NodeKind::Folder);
        b = t.add(0, "b.txt", NodeKind::File, 0);
        e = addBareFile(t, 0, "e");
        empty = t.add(0, "empty", NodeKind::Folder);
        c = t.add(sub, "c", NodeKind::File, 10000);
        d = t.add(sub, "d.bin", NodeKind::File, 1000000000);
        const struct
        {
            NodeIndex node;
            std::int64_t written;
        } times[] = {
            {a, Moment - Day / 2}, {c, Moment - 3 * Day}, {d, Moment - 400 * Day}, {b, Moment + Day}};
        for (const auto &x : times) {
            stamp(*t.tree, x.node, TimeKind::Write, x.written);
            stamp(*t.tree, x.node, TimeKind::Access, x.written);
        }
        stamp(*t.tree, a, TimeKind::Create, Moment - Day / 2);
        tree = t.finish();
        order = TreeOrder(*tree);
    }

    void classify(const Ranges &ranges = defaultRanges(), std::int64_t now = Moment)
    {
        ClassifyFiles(*tree, ranges, now);
    }

    std::vector<std::string> slice(NodeIndex current, SliceKind kind, const QString &key) const
    {
        return rowNames(SliceListRows(tree, order, current, kind, key).records());
    }

    TreeBuilder t {"/t"};
    std::shared_ptr<CatalogTree> tree;
    TreeOrder order;
    NodeIndex a = 0, sub = 0, b = 0, e = 0, empty = 0, c = 0, d = 0;
};

TEST_F(RangeStatisticsTest, BucketsOfTheDefaultBounds)
{
    classify();
    const struct
    {
        NodeIndex node;
        const char *what;
        int size, write, create;
    } cases[] = {
        {a, "9,999 bytes, 12 hours old", 0, 0, 0},
        {c, "10,000 bytes, exactly 3 days old", 1, 2, 0},
        {d, "1,000,000,000 bytes, 400 days old", 6, 5, 0},
        {b, "0 bytes, written in the future", 0, 0, 0},
        {e, "no size, no time stamps", 0, 0, 0},
    };
    for (const auto &x : cases) {
        EXPECT_EQ(tree->sizeBucket(x.node), x.size) << x.what;
        EXPECT_EQ(tree->ageBucket(x.node, TimeKind::Write), x.write) << x.what;
        EXPECT_EQ(tree->ageBucket(x.node, TimeKind::Access), x.write) << x.what;
        EXPECT_EQ(tree->ageBucket(x.node, TimeKind::Create), x.create) << x.what;
        EXPECT_EQ(tree->fieldText(x.node, SizeRange), QString::number(x.size)) << x.what;
        EXPECT_EQ(tree->fieldText(x.node, WriteAgeRange), QString::number(x.write)) << x.what;
        EXPECT_EQ(tree->fieldText(x.node, AccessAgeRange), QString::number(x.write)) << x.what;
        EXPECT_EQ(tree->fieldText(x.node, CreateAgeRange), QString::number(x.create)) << x.what;
    }

    // The rule itself: first bound in list order greater than the value, else N.
    const std::vector<double> unordered = {5, 2, 9};
    const struct
    {
        double value;
        int bucket;
    } rule[] = {{1, 0}, {5, 2}, {8.5, 2}, {9, 3}, {-1, 0}};
    for (const auto &x : rule)
        EXPECT_EQ(SizeRangeIndex(x.value, unordered), x.bucket) << x.value;
    EXPECT_EQ(AgeRangeIndex(2.999, {1, 3}), 1);
    EXPECT_EQ(AgeRangeIndex(3.0, {1, 3}), 2);
    EXPECT_EQ(SizeRangeIndex(5, {}), -1);
}

TEST_F(RangeStatisticsTest, RangeFieldsAreEmptyUntilClassifiedAndForFolders)
{
    const int rangeFields[] = {CreateAgeRange, AccessAgeRange, WriteAgeRange, SizeRange};
    for (const int field : rangeFields)
        EXPECT_EQ(tree->fieldText(c, field), QString()) << "not classified, field " << field;

    classify();
    for (const NodeIndex folder : {NodeIndex(0), sub, empty}) {
        for (const int field : rangeFields)
            EXPECT_EQ(tree->fieldText(folder, field), QString())
                << "folder " << folder << ", field " << field;
    }
    EXPECT_EQ(TCatalogNode(tree, d).text(SizeRange), QStringLiteral("6"));

    // Without bounds there are no buckets: the fields stay empty.
    Ranges sizesOnly = defaultRanges();
    sizesOnly.age = {};
    classify(sizesOnly);
    EXPECT_EQ(tree->fieldText(d, SizeRange), QStringLiteral("6"));
    EXPECT_EQ(tree->fieldText(d, WriteAgeRange), QString());
    EXPECT_EQ(tree->ageBucket(d, TimeKind::Write), -1);
}

TEST_F(RangeStatisticsTest, CountsOfAFileAnEmptyFolderAndASubtree)
{
    classify();
    const Statistics file = CountStatistics(*tree, d);
    EXPECT_EQ(file.size, (Counts {0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(file.writeAge, (Counts {0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(file.accessAge, (Counts {0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(file.createAge, (Counts {1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(file.types, typesOf({{"bin", 1}}));

    const Statistics none = CountStatistics(*tree, empty);
    EXPECT_EQ(none.size, Counts(7, 0));
    EXPECT_EQ(none.createAge, Counts(6, 0));
    EXPECT_TRUE(none.types.empty());

    // Folders count neither in buckets nor by extension; a.TXT and b.txt meet under
    // the first spelling; c and e have no extension.
    const Statistics all = CountStatistics(*tree, 0);
    EXPECT_EQ(all.size, (Counts {3, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(all.writeAge, (Counts {3, 0, 1, 0, 0, 1}));
    EXPECT_EQ(all.accessAge, all.writeAge);
    EXPECT_EQ(all.createAge, (Counts {5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(all.types, typesOf({{"TXT", 2}, {"", 2}, {"bin", 1}}));
    // By bytes, the same extensions by hand: a.TXT + b.txt, c + e (no size), d.bin.
    EXPECT_EQ(all.typeBytes, typesOf({{"bin", 1000000000}, {"", 10000}, {"TXT", 9999}}));
    EXPECT_EQ(CountStatistics(*tree, sub).typeBytes, typesOf({{"bin", 1000000000}, {"", 10000}}));
    EXPECT_EQ(file.typeBytes, typesOf({{"bin", 1000000000}}));
    EXPECT_TRUE(none.typeBytes.empty());

    // The spelling kept is that of the first file in the order the tree shows.
    TreeOrder reversed(*tree);
    reversed.sort(*tree, [](NodeIndex x, NodeIndex y) { return x > y ? -1 : 1; });
    EXPECT_EQ(CountStatistics(*tree, 0, &reversed).types, typesOf({{"", 2}, {"txt", 2}, {"bin", 1}}));
}

TEST_F(RangeStatisticsTest, AnUnclassifiedTreeCountsEveryFileInBucketZero)
{
    const Statistics never = CountStatistics(*tree, 0);
    EXPECT_EQ(never.size, Counts {5});
    EXPECT_EQ(never.writeAge, Counts {5});

    // Bounds known, no moment yet: the lists have their length, all in bucket 0.
    classify(defaultRanges(), 0);
    EXPECT_FALSE(tree->isClassified());
    EXPECT_EQ(tree->fieldText(d, SizeRange), QString());
    const Statistics s = CountStatistics(*tree, 0);
    EXPECT_EQ(s.size, (Counts {5, 0, 0, 0, 0, 0, 0}));
    for (const Counts *ages : {&s.createAge, &s.accessAge, &s.writeAge})
        EXPECT_EQ(*ages, (Counts {5, 0, 0, 0, 0, 0}));
    // Their range fields are empty, but the slice that counted them lists them.
    EXPECT_EQ(slice(0, SliceKind::Size, QStringLiteral("0")).size(), 5u);
    EXPECT_TRUE(slice(0, SliceKind::Size, QString()).empty());
}

TEST(RangeStatisticsTypes, ExtensionsMergeAcrossLetterCaseBeyondAscii)
{
    TreeBuilder t("/u");
    for (const char *name : {"Ä.ÄÖ", "b.äö", "c.ÉTÉ", "d.été", "g.\xff", "h.\xfe", "i."})
        t.add(0, name, NodeKind::File, 1);
    const auto tree = t.finish();
    // Two undecodable extensions read as the same text, so they meet as that text.
    // A trailing dot leaves no extension.
    EXPECT_EQ(
        CountStatistics(*tree, 0).types, typesOf({{"ÄÖ", 2}, {"ÉTÉ", 2}, {"\xef\xbf\xbd", 2}, {"", 1}}));
}

TEST(RangeStatisticsTypes, TwelveExtensionsInTheOrderOfTheExchangeProcedure)
{
    // Counts 3 1 4 1 5 9 2 6 5 3 5 8 for a … l, first met in that order. Equal counts
    // do not keep that order: the three 5s come out as i, k, e.
    TreeBuilder t("/v");
    const std::uint64_t counts[] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8};
    for (int k = 0; k < 12; ++k) {
        for (std::uint64_t n = 0; n < counts[k]; ++n) {
            const std::string name = std::to_string(k) + '_' + std::to_string(n) + '.' + char('a' + k);
            t.add(0, name.c_str(), NodeKind::File, 1);
        }
    }
    const auto tree = t.finish();
    EXPECT_EQ(CountStatistics(*tree, 0).types,
        typesOf({{"f", 9}, {"l", 8}, {"h", 6}, {"i", 5}, {"k", 5}, {"e", 5}, {"c", 4}, {"a", 3}, {"j", 3},
            {"g", 2}, {"b", 1}, {"d", 1}}));
}

TEST(RangeStatisticsTypes, SortTypeCountsExactUpToTheLimitStableBeyond)
{
    Types small = typesOf({{"a", 1}, {"b", 1}, {"c", 2}});
    SortTypeCounts(small);
    EXPECT_EQ(small, typesOf({{"c", 2}, {"b", 1}, {"a", 1}}));

    // [1 a, 1 b, 2 c] followed by files of count 0 up to `length` entries.
    const auto padded = [](std::size_t length) {
        Types types = typesOf({{"a", 1}, {"b", 1}, {"c", 2}});
        for (std::size_t k = types.size(); k < length; ++k)
            types.emplace_back(QString::number(k), 0);
        return types;
    };
    const struct
    {
        std::size_t length;
        const char *first3[3];
    } cases[] = {
        {SortTypeCountsExactLimit, {"c", "b", "a"}},
        {SortTypeCountsExactLimit + 1, {"c", "a", "b"}},
    };
    for (const auto &x : cases) {
        Types types = padded(x.length);
        SortTypeCounts(types);
        ASSERT_EQ(types.size(), x.length);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(types[k].first, QLatin1String(x.first3[k])) << x.length;
        EXPECT_EQ(types[3].first, QStringLiteral("3")) << x.length;
        EXPECT_EQ(types.back().first, QString::number(x.length - 1)) << x.length;
    }

    // 100,000 distinct extensions: counts descending, ties in first-met order (the
    // exchange procedure would take billions of steps here).
    Types many;
    for (int k = 0; k < 100000; ++k)
        many.emplace_back(QString::number(k), std::uint64_t(k % 7));
    SortTypeCounts(many);
    ASSERT_EQ(many.size(), 100000u);
    for (std::size_t k = 1; k < many.size(); ++k) {
        const auto &p = many[k - 1];
        const auto &q = many[k];
        ASSERT_TRUE(p.second > q.second || (p.second == q.second && p.first.toInt() < q.first.toInt()))
            << k << ": " << p.first.toStdString() << "=" << p.second << " before " << q.first.toStdString()
            << "=" << q.second;
    }
    EXPECT_EQ(many.front(), (std::pair<QString, std::uint64_t>(QStringLiteral("6"), 6)));
}

TEST_F(RangeStatisticsTest, SliceListsCompareTheFieldAsTheCountingDid)
{
    classify();
    // A type slice ignores letter case as the counting did, whichever spelling it is named by.
    EXPECT_EQ(
        slice(0, SliceKind::Type, QStringLiteral("TXT")), (std::vector<std::string> {"a.TXT", "b.txt"}));
    EXPECT_EQ(
        slice(0, SliceKind::Type, QStringLiteral("txt")), (std::vector<std::string> {"a.TXT", "b.txt"}));
    EXPECT_EQ(slice(0, SliceKind::Type, QString()), (std::vector<std::string> {"c", "e"}));

    const struct
    {
        SliceKind kind;
        const char *key;
        std::vector<std::string> names;
    } cases[] = {
        {SliceKind::Size, "0", {"a.TXT", "b.txt", "e"}},
        {SliceKind::Size, "6", {"d.bin"}},
        {SliceKind::Size, "06", {}},
        {SliceKind::Size, "", {}},
        {SliceKind::WriteAge, "2", {"c"}},
        {SliceKind::AccessAge, "5", {"d.bin"}},
        {SliceKind::CreateAge, "0", {"a.TXT", "c", "d.bin", "b.txt", "e"}},
    };
    for (const auto &x : cases)
        EXPECT_EQ(slice(0, x.kind, QString::fromUtf8(x.key)), x.names) << int(x.kind) << " " << x.key;

    // In the order the tree shows, descending into folders where they stand.
    TreeOrder reversed(*tree);
    reversed.sort(*tree, [](NodeIndex x, NodeIndex y) { return x > y ? -1 : 1; });
    EXPECT_EQ(rowNames(SliceListRows(tree, reversed, 0, SliceKind::Size, QStringLiteral("0")).records()),
        (std::vector<std::string> {"e", "b.txt", "a.TXT"}));

    // A file as the current node lists itself, whatever the key.
    EXPECT_EQ(slice(d, SliceKind::Type, QStringLiteral("TXT")), std::vector<std::string> {"d.bin"});
    EXPECT_EQ(slice(d, SliceKind::Size, QStringLiteral("0")), std::vector<std::string> {"d.bin"});
    EXPECT_TRUE(slice(empty, SliceKind::Size, QStringLiteral("0")).empty());

    // Percentages are of the list's own total.
    const auto rows = SliceListRows(tree, order, sub, SliceKind::CreateAge, QStringLiteral("0")).records();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text(SizePercentage), QStringLiteral("0.00"));
    EXPECT_EQ(rows[1].text(SizePercentage), QStringLiteral("100.00"));
}

TEST_F(RangeStatisticsTest, EverySliceListsWhatItsBucketCounted)
{
    // Extensions in several letter cases and bytes that are not UTF-8, which read alike.
    t.add(empty, "f.Txt", NodeKind::File, 1);
    t.add(empty, "g.x\xff", NodeKind::File, 1);
    t.add(empty, "h.x\xfe", NodeKind::File, 1);
    t.add(empty, "i.\xc3\x89T\xc3\xa9", NodeKind::File, 1); // "ÉTé"
    t.add(empty, "j.\xc3\xa9t\xc3\x89", NodeKind::File, 1);
    tree = t.finish();
    order = TreeOrder(*tree);
    // The configured bounds; a configuration without ranges ("all files" alone); a
    // tree never classified.
    const struct
    {
        const char *what;
        std::optional<Ranges> ranges;
    } classifications[] = {
        {"unclassified", {}}, {"default ranges", defaultRanges()}, {"no ranges", Ranges {}}};
    for (const auto &c : classifications) {
        SCOPED_TRACE(c.what);
        if (c.ranges)
            classify(*c.ranges);
        const Statistics s = CountStatistics(*tree, 0);
        const std::pair<SliceKind, const Counts *> lists[] = {{SliceKind::CreateAge, &s.createAge},
            {SliceKind::AccessAge, &s.accessAge}, {SliceKind::WriteAge, &s.writeAge},
            {SliceKind::Size, &s.size}};
        for (const auto &[kind, counts] : lists) {
            for (std::size_t bucket = 0; bucket < counts->size(); ++bucket) {
                EXPECT_EQ(
                    SliceListRows(tree, order, 0, kind, QString::number(bucket)).size(), (*counts)[bucket])
                    << int(kind) << " bucket " << bucket;
            }
        }
        for (const auto &[label, count] : s.types)
            EXPECT_EQ(SliceListRows(tree, order, 0, SliceKind::Type, label).size(), count)
                << label.toStdString();
        // By size, a slice lists the same files, and their sizes add up to its bytes.
        ASSERT_EQ(s.typeBytes.size(), s.types.size());
        for (const auto &[label, bytes] : s.typeBytes) {
            std::uint64_t sum = 0;
            for (const TCatalogNode &row : SliceListRows(tree, order, 0, SliceKind::Type, label).records())
                sum += row.tree()->node(row.index()).size;
            EXPECT_EQ(sum, bytes) << label.toStdString();
        }
    }
}

class LoadRangesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ResetConfig();
        file = dir.filePath(QString::fromLatin1(TConfig::BaseName));
    }
    void TearDown() override { ResetConfig(); }

    QTemporaryDir dir;
    QString file;
};

TEST_F(LoadRangesTest, TheDefaultDocument)
{
    UseConfigFile(file); // missing: written from the default, "1.0" and "3.0" included
    QStringList problems;
    const Ranges r = LoadRanges(GetConfig().Document(), &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_EQ(r.age.labels, defaultRanges().age.labels);
    EXPECT_EQ(r.age.bounds, defaultRanges().age.bounds);
    EXPECT_EQ(r.size.labels, defaultRanges().size.labels);
    EXPECT_EQ(r.size.bounds, defaultRanges().size.bounds);
}

TEST_F(LoadRangesTest, AnItemWhoseValueCannotBeReadIsLeftOutAndNamed)
{
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(R"(<config versionNo="2"><agerange><item label="day" value="1.0"/>)"
              R"(<item label="soon" value="later"/><item label="year" value="365"/></agerange>)"
              R"(<sizerange><item label="huge" value="3000000000"/><item label="1MB" value="1000000"/>)"
              R"(</sizerange></config>)");
    out.close();
    UseConfigFile(file);

    QStringList problems;
    const Ranges r = LoadRanges(GetConfig().Document(), &problems);
    EXPECT_EQ(r.age.labels, (QStringList {"day", "year"}));
    EXPECT_EQ(r.age.bounds, (std::vector<double> {1, 365}));
    EXPECT_EQ(r.size.labels, QStringList {"1MB"});
    EXPECT_EQ(r.size.bounds, std::vector<double> {1000000});
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].contains("\"soon\"") && problems[0].contains("later"))
        << problems[0].toStdString();
    EXPECT_TRUE(problems[1].contains("\"huge\"") && problems[1].contains("3000000000"))
        << problems[1].toStdString();
    EXPECT_NO_THROW(LoadRanges(GetConfig().Document())); // without a list to report to
}

} // namespace

namespace {

// Types as a set of (folded spelling, count): what a new count and one by difference
// agree on whatever order equal counts stand in.
std::map<QString, std::uint64_t> typeCounts(const Types &types)
{
    std::map<QString, std::uint64_t> counts;
    for (const auto &[label, count] : types)
        counts[label.toCaseFolded()] += count;
    return counts;
}

} // namespace

TEST_F(RangeStatisticsTest, StatisticsFollowAnEditByDifference)
{
    classify();
    Statistics shown = CountStatistics(*tree, 0);
    // Out go a.TXT (the spelling its type is shown with) and the folder sub (c and
    // d.bin, the only .bin); a copy of sub comes back as if read again.
    const Statistics leaving = [&] {
        Statistics s = CountStatistics(*tree, NoNode);
        ApplyStatisticsChange(s, {}, CountStatistics(*tree, a));
        ApplyStatisticsChange(s, {}, CountStatistics(*tree, sub));
        return s;
    }();
    const Statistics coming = CountStatistics(*tree, sub);
    tree->removeEntries({a, sub});
    ApplyStatisticsChange(shown, leaving, {});
    const Statistics fresh = CountStatistics(*tree, 0);
    EXPECT_EQ(shown.size, fresh.size);
    EXPECT_EQ(shown.createAge, fresh.createAge);
    EXPECT_EQ(shown.accessAge, fresh.accessAge);
    EXPECT_EQ(shown.writeAge, fresh.writeAge);
    EXPECT_EQ(typeCounts(shown.types), typeCounts(fresh.types));
    EXPECT_EQ(typeCounts(shown.typeBytes), typeCounts(fresh.typeBytes));
    // b.txt's type keeps the spelling it was shown with; .bin is gone, not at zero.
    EXPECT_EQ(shown.types, typesOf({{"TXT", 1}, {"", 1}}));

    ApplyStatisticsChange(shown, {}, coming);
    EXPECT_EQ(shown.size, (Counts {2, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(shown.types, typesOf({{"", 2}, {"TXT", 1}, {"bin", 1}}));
    // b.txt is empty: its type stays among the bytes, at none.
    EXPECT_EQ(shown.typeBytes, typesOf({{"bin", 1000000000}, {"", 10000}, {"TXT", 0}}));
}
