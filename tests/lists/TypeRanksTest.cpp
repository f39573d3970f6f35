#include "TypeRanks.h"

#include "RangeStatistics.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Every file finds its type where CountStatistics put it, letter cases meeting as
// they do there; a type the list lacks has no position.
TEST(TypeRanks, FilesFindTheirTypeAsTheStatisticsCountedIt)
{
    TreeBuilder b("/top");
    const char *names[] = {
        "a.TXT", "b.txt", "c.Txt", "d.log", "e", "f.ÜNÏ", "g.ünï", "h.\xff", "i.log", "j.txt"};
    std::vector<NodeIndex> files;
    for (const char *name : names)
        files.push_back(b.add(0, name, NodeKind::File, 1));
    const auto tree = b.finish();
    const Statistics stats = CountStatistics(*tree, tree->top());
    ASSERT_EQ(stats.types.size(), 5U) << "txt, log, none, ünï, the undecodable one";

    const TypeRanks ranks(stats.types);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int rank = ranks.rankOf(*tree, files[i]);
        ASSERT_GE(rank, 0) << names[i];
        const QString extension = tree->name(files[i]).contains(QLatin1Char('.'))
            ? tree->name(files[i]).section(QLatin1Char('.'), -1)
            : QString();
        EXPECT_EQ(stats.types[std::size_t(rank)].first.toCaseFolded(), extension.toCaseFolded()) << names[i];
    }
    EXPECT_EQ(ranks.rankOf(*tree, files[0]), 0) << "the most frequent type comes first";

    const TypeRanks onlyLogs({{QStringLiteral("LOG"), 2}});
    EXPECT_EQ(onlyLogs.rankOf(*tree, files[3]), 0);
    EXPECT_EQ(onlyLogs.rankOf(*tree, files[0]), -1);
}

} // namespace
