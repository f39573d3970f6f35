#include "FolderScanner.h"
#include "AllocationBudget.h"
#include "CatalogFields.h"
#include "CatalogText.h"
#include "CatalogTree.h"
#include "ExaminationHook.h"
#include "Fixture.h"
#include "RunAsNobody.h"
#include "ScanCounts.h"
#include "SleepMeter.h"
#include "TCatalogNode.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Where fixtures of many entries are made: a tmpfs when there is one, as creating
// files there costs no disk.
const char *ManyEntriesParent()
{
    return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// Thread counts every comparison runs with: the walk alone, and two ways of sharing.
constexpr unsigned ThreadCounts[] = {1, 2, 4};

// One node as a scan with any number of threads must give it: everything it holds
// but its index and where its name is stored.
struct NodeRecord
{
    std::string path; // bytes, compared as such

    int kind;
    int flags;
    std::uint64_t size;
    std::int64_t createTime, accessTime, writeTime;
    std::uint32_t subtreeCount, childCount;
    int unreadable;

    auto operator<=>(const NodeRecord &) const = default;
};

std::ostream &operator<<(std::ostream &out, const NodeRecord &r)
{
    return out << r.path << " kind " << r.kind << " flags " << r.flags << " size " << r.size << " times "
               << r.createTime << '/' << r.accessTime << '/' << r.writeTime << " subtree " << r.subtreeCount
               << " children " << r.childCount << " unreadable " << r.unreadable;
}

// The tree's nodes in an order that does not depend on the order folders were read
// or listed in, after checking what every tree must hold: the children of a folder
// at consecutive indexes after it, each naming it as parent. Empty when that fails.
std::vector<NodeRecord> Records(const CatalogTree &tree)
{
    using F = CatalogNodeData;
    std::vector<NodeRecord> records;
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n) {
        const CatalogNodeData &d = tree.node(n);
        for (std::uint32_t r = 0; r < d.childCount; ++r) {
            const NodeIndex c = tree.child(n, r);
            if (c <= n || c >= tree.nodeCount() || tree.parent(c) != n)
                return {};
        }
        int flags = 0;
        for (const F::Flag f :
            {F::HasSize, F::HasDetails, F::HasCreateTime, F::HasAccessTime, F::HasWriteTime, F::Unreadable})
            flags |= d.has(f) ? f : 0;
        records.push_back({tree.fullPathBytes(n).toStdString(), int(d.kind()), flags, d.size, d.createTime,
            d.accessTime, d.writeTime, d.subtreeCount, d.childCount, tree.unreadableError(n)});
    }
    std::sort(records.begin(), records.end());
    return records;
}

// Scans `path` with every count of ThreadCounts and returns how the scans differ
// from the first, empty when they all agree and are complete.
std::string ThreadsDisagree(const QByteArray &path)
{
    // The first read of a new folder moves its access time (relatime); later ones
    // leave it, so one scan before those compared settles every stamp.
    ScanFolder(path);
    std::vector<NodeRecord> first;
    for (const unsigned threads : ThreadCounts) {
        ScanOptions options;
        options.threads = threads;
        const ScanResult result = ScanFolder(path, options);
        const std::string with = std::to_string(threads) + " threads: ";
        if (!result.complete())
            return with + "stopped short, " + ScanStopText(result.stop);
        std::vector<NodeRecord> records = Records(*result.tree);
        if (records.empty())
            return with + "children of a folder not consecutive after it";
        if (first.empty()) {
            first = std::move(records);
            continue;
        }
        if (records.size() != first.size())
            return with + std::to_string(records.size()) + " nodes, not " + std::to_string(first.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (records[i] != first[i]) {
                std::ostringstream out;
                out << with << records[i] << "\n  instead of " << first[i];
                return out.str();
            }
        }
    }
    return {};
}

class FolderScannerTest : public ::testing::Test
{
protected:
    void SetUp() override { UseUtcAndCLocale(); }

    // Children of `node` by their raw name.
    std::map<QByteArray, NodeIndex> children(NodeIndex node) const
    {
        std::map<QByteArray, NodeIndex> byName;
        for (std::uint32_t r = 0; r < tree->childCount(node); ++r) {
            const NodeIndex c = tree->child(node, r);
            byName[tree->nameBytes(c).toByteArray()] = c;
        }
        return byName;
    }

    QString text(NodeIndex n, int field) const { return tree->fieldText(n, field); }

    // What must hold after every completed scan.
    void expectInvariants() const
    {
        for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
            const CatalogNodeData &d = tree->node(n);
            if (d.kind() == NodeKind::Folder) {
                std::uint64_t sum = 0;
                std::uint32_t below = 0;
                for (std::uint32_t r = 0; r < d.childCount; ++r) {
                    sum += tree->node(tree->child(n, r)).size;
                    below += tree->node(tree->child(n, r)).subtreeCount;
                }
                EXPECT_EQ(d.size, sum) << tree->fullPathBytes(n).toStdString();
                EXPECT_EQ(text(n, FileCount), QString::number(below));
                EXPECT_TRUE(text(n, FileExt).isEmpty());
            } else {
                EXPECT_EQ(d.childCount, 0u);
                EXPECT_EQ(text(n, FileCount), QStringLiteral("1"));
            }
            if (n != 0) {
                QByteArray expected = tree->fullPathBytes(d.parent);
                if (!expected.endsWith('/'))
                    expected += '/';
                EXPECT_EQ(tree->fullPathBytes(n), expected + tree->nameBytes(n).toByteArray());
            }
        }
        EXPECT_EQ(text(0, SizePercentage),
            tree->node(0).size == 0 ? QStringLiteral("0") : QStringLiteral("100.00"));
    }

    // Scans `path` into `result` and `tree`; true when the scan was complete.
    bool scan(const QByteArray &path, const ScanOptions &options = {})
    {
        result = ScanFolder(path, options);
        tree = result.tree;
        return result.complete();
    }

    ScanResult result;
    std::shared_ptr<const CatalogTree> tree;
    Fixture fx;
};

TEST_F(FolderScannerTest, EmptyFolderGivesOneNode)
{
    EXPECT_TRUE(scan(fx.path()));
    ASSERT_EQ(tree->nodeCount(), 1u);
    EXPECT_EQ(text(0, FileName), QString::fromUtf8(fx.path()));
    EXPECT_EQ(text(0, FullPath), QString::fromUtf8(fx.path()));
    EXPECT_EQ(text(0, FileType), QStringLiteral("folder"));
    EXPECT_EQ(text(0, FileBytes), QStringLiteral("0"));
    EXPECT_EQ(text(0, SizePercentage), QStringLiteral("0"));
    EXPECT_EQ(text(0, FileCount), QStringLiteral("0"));
}

TEST_F(FolderScannerTest, RecordsEveryKindOfEntryWithoutFollowingLinks)
{
    fx.makeFolder("docs.d");
    fx.makeFile("docs.d/report.final.PDF", 1000);
    fx.makeFile("docs.d/README", 24);
    fx.makeFile(".hidden", 7);
    fx.makeFolder(".config");
    fx.makeFile(".config/settings.json", 3);
    fx.makeFile("huge.img", (4ull << 30) + 1);
    fx.makeLink("to-docs", "docs.d");
    fx.makeLink("loop-a", "loop-b");
    fx.makeLink("loop-b", "loop-a");
    fx.makeLink("self", ".");
    ASSERT_EQ(::mkfifo(fx.at("pipe").constData(), 0644), 0);

    ASSERT_TRUE(scan(fx.path()));
    expectInvariants();
    auto top = children(0);
    ASSERT_EQ(top.size(), 9u);

    const struct
    {
        const char *name;
        const char *type;
        const char *bytes;
        const char *ext;
    } cases[] = {
        {"docs.d", "folder", "1024", ""},
        {".hidden", "file", "7", "hidden"},
        {".config", "folder", "3", ""},
        {"huge.img", "file", "4294967297", "img"},
        {"to-docs", "file", "6", ""},
        {"loop-a", "file", "6", ""},
        {"self", "file", "1", ""},
        {"pipe", "file", "0", ""},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(top.count(c.name)) << c.name;
        const NodeIndex n = top[c.name];
        EXPECT_EQ(text(n, FileType), QLatin1String(c.type)) << c.name;
        EXPECT_EQ(text(n, FileBytes), QLatin1String(c.bytes)) << c.name;
        EXPECT_EQ(text(n, FileExt), QLatin1String(c.ext)) << c.name;
        EXPECT_EQ(text(n, DOSName), QLatin1String(c.name)) << c.name;
        EXPECT_FALSE(text(n, WriteTime).isEmpty()) << c.name;
        EXPECT_FALSE(text(n, AccessTime).isEmpty()) << c.name;
        if (tree->isFile(n)) {
            EXPECT_EQ(tree->childCount(n), 0u) << c.name;
        }
    }
    const auto docs = children(top["docs.d"]);
    EXPECT_EQ(text(docs.at("report.final.PDF"), FileExt), QStringLiteral("PDF"));
    EXPECT_TRUE(text(docs.at("README"), FileExt).isEmpty());
    EXPECT_EQ(text(top["docs.d"], FileCount), QStringLiteral("2"));
    EXPECT_EQ(text(0, FileCount), QStringLiteral("12"));
}

TEST_F(FolderScannerTest, WriteTimeIsTheFileSystemsStamp)
{
    fx.makeFile("stamped", 1);
    const struct timespec times[2] = {{1700000000, 0}, {1709596800, 0}}; // 2024-03-05 00:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, fx.at("stamped").constData(), times, 0), 0);
    ASSERT_TRUE(scan(fx.path()));
    const NodeIndex n = children(0).at("stamped");
    EXPECT_EQ(text(n, WriteTime), QStringLiteral("5 Mar 2024"));
    EXPECT_EQ(text(n, AccessTime), QStringLiteral("14 Nov 2023 22:13:20"));
    // Birth time is shown only where the file system keeps one.
    const QString created = text(n, CreateTime);
    if (!created.isEmpty()) {
        EXPECT_TRUE(CatalogText::TimeFormat::current().parse(created).has_value()) << created.toStdString();
    }
}

TEST_F(FolderScannerTest, OddNamesKeepTheirBytes)
{
    const QByteArray names[] = {
        "line\nbreak",
        "tab\there",
        "bad\xff\xfe"
        "bytes.t\xe9xt",
        "quote\"s'",
        "comma,separated",
        "<tag>&amp;",
        " padded ",
        "caf\xc3\xa9.txt",
    };
    for (const QByteArray &name : names) {
        fx.makeFile(name, 5);
    }
    ASSERT_TRUE(scan(fx.path()));
    auto top = children(0);
    ASSERT_EQ(top.size(), std::size(names));
    for (const QByteArray &name : names) {
        ASSERT_TRUE(top.count(name)) << name.toStdString();
        const NodeIndex n = top[name];
        // The path reaches the very file, whatever its bytes.
        struct stat st;
        EXPECT_EQ(::lstat(tree->fullPathBytes(n).constData(), &st), 0) << name.toStdString();
        EXPECT_EQ(text(n, FileName), QString::fromUtf8(name));
    }
    EXPECT_EQ(text(top["bad\xff\xfe"
                       "bytes.t\xe9xt"],
                  FileName),
        QStringLiteral("bad\uFFFD\uFFFDbytes.t\uFFFDxt"));
    EXPECT_EQ(text(top["caf\xc3\xa9.txt"], FileName), QStringLiteral("caf\u00e9.txt"));
    EXPECT_EQ(text(top["caf\xc3\xa9.txt"], FileNameLength), QStringLiteral("8"));
    EXPECT_EQ(text(top[" padded "], FileName), QStringLiteral(" padded "));
}

// Descriptors open in this process now.
std::size_t openDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n - 1; // the listing's own
}

// The descriptor limit that leaves exactly `free` descriptor numbers to open.
rlim_t limitLeaving(std::size_t free)
{
    int fd = 0;
    for (std::size_t unused = 0;; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && ++unused == free)
            return rlim_t(fd) + 1;
    }
}

// A comb `depth` levels deep, far beyond PATH_MAX: every level holds the next
// level, two empty folders and a file of one byte. Returns the number of entries.
std::size_t makeComb(const QByteArray &root, int depth)
{
    int fd = ::open(root.constData(), O_DIRECTORY | O_RDONLY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        ::mkdirat(fd, "level", 0755);
        ::mkdirat(fd, "empty-1", 0755);
        ::mkdirat(fd, "empty-2", 0755);
        const int file = ::openat(fd, "byte", O_WRONLY | O_CREAT, 0644);
        [[maybe_unused]] const ssize_t written = ::write(file, "x", 1);
        ::close(file);
        const int next = ::openat(fd, "level", O_DIRECTORY | O_RDONLY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    return std::size_t(depth) * 4;
}

TEST_F(FolderScannerTest, HugeFolder)
{
    const Fixture wide(ManyEntriesParent());
    constexpr int Count = 200000;
    const int dir = ::open(wide.path().constData(), O_DIRECTORY | O_RDONLY);
    ASSERT_GE(dir, 0);
    for (int i = 0; i < Count; ++i) {
        const QByteArray name = "entry-" + QByteArray::number(i) + ".dat";
        const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        if (i % 1000 == 0) {
            ASSERT_EQ(::ftruncate(fd, i), 0);
        }
        ::close(fd);
    }
    ::close(dir);
    // Small folders beside it, read by other threads while the huge one goes in.
    constexpr int Side = 16;
    for (int i = 0; i < Side; ++i) {
        const QByteArray folder = "side-" + QByteArray::number(i);
        wide.makeFolder(folder);
        for (int f = 0; f < 20; ++f)
            wide.makeFile(folder + "/f" + QByteArray::number(f), 1);
    }
    std::uint64_t reports = 0;
    ScanOptions options;
    options.progress = [&reports](std::uint64_t, const QByteArray &) { ++reports; };
    ASSERT_TRUE(scan(wide.path(), options));
    EXPECT_EQ(tree->nodeCount(), std::size_t(Count) + Side * 21 + 1);
    EXPECT_EQ(tree->childCount(0), std::uint32_t(Count + Side));
    EXPECT_EQ(text(0, FileBytes), QStringLiteral("19900320")); // 1000 * (0 + 1 + ... + 199) + 16 * 20
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(ThreadsDisagree(wide.path()), "");
}

// The same tree, node for node, whatever the number of threads that read it: odd
// names, links that loop, folders that cannot be read or only listed, and subtrees
// too deep or with paths too long for a thread to open in one step.
TEST_F(FolderScannerTest, EveryThreadCountGivesTheSameTree)
{
    const QByteArray odd[] = {"line\nbreak", "bad\xff\xfe", " padded ", "caf\xc3\xa9", "-", "*", "..."};
    for (std::size_t i = 0; i < std::size(odd); ++i) {
        fx.makeFolder(odd[i]);
        fx.makeFile(odd[i] + "/inside", i);
        fx.makeFolder(odd[i] + "/sub");
        fx.makeFile(odd[i] + "/sub/" + odd[i], 1000 + i);
    }
    fx.makeLink("loop-a", "loop-b");
    fx.makeLink("loop-b", "loop-a");
    fx.makeLink("self", ".");
    fx.makeLink("up", "..");
    ASSERT_EQ(::mkfifo(fx.at("pipe").constData(), 0644), 0);
    fx.makeFolder("closed");
    fx.makeFile("closed/secret", 100);
    fx.makeFolder("listable");
    fx.makeFile("listable/hidden-size", 100);
    fx.makeFolder("listable/inner");
    ::chmod(fx.at("closed").constData(), 0700);
    ::chmod(fx.at("listable").constData(), 0744);
    for (int f = 0; f < 30; ++f) {
        const QByteArray folder = "many/" + QByteArray::number(f);
        if (f == 0)
            fx.makeFolder("many");
        fx.makeFolder(folder);
        for (int e = 0; e < 40; ++e)
            fx.makeFile(folder + "/" + QByteArray::number(e), std::uint64_t(f * e));
    }
    fx.makeFolder("comb");
    makeComb(fx.at("comb"), 150);
    QByteArray longPath = "long";
    fx.makeFolder(longPath);
    for (int level = 0; level < 16; ++level) {
        longPath += '/' + QByteArray(200, char('a' + level));
        fx.makeFolder(longPath);
        fx.makeFile(longPath + "/f", std::uint64_t(level));
    }

    const int status = RunAsNobody([this] {
        const std::string difference = ThreadsDisagree(fx.path());
        if (!difference.empty())
            std::fprintf(stderr, "%s\n", difference.c_str());
        return difference.empty() ? 0 : 1;
    });
    if (status < 0)
        GTEST_SKIP() << "cannot drop privileges to the user nobody here";
    EXPECT_EQ(status, 0) << "the scans differ (the first difference is printed above)";
}

TEST_F(FolderScannerTest, DeepTreesWithFewDescriptorsAreWalkedInFullOrStopShortSaying)
{
    constexpr int Depth = 3000;
    const std::size_t entries = makeComb(fx.path(), Depth);

    struct rlimit saved
    { };
    ::getrlimit(RLIMIT_NOFILE, &saved);
    // Descriptors left free for the scan, as in a process that holds many files open.
    const struct
    {
        std::size_t free;
        bool complete;
    } cases[] = {
        {1, false},
        {2, false},
        {3, true},
        {8, true},
        {40, true},
    };
    for (const unsigned threads : ThreadCounts) {
        for (const auto &c : cases) {
#ifdef FOLVANE_SANITIZED
            // The sanitizers' own checks need descriptors of their own (a pipe).
            if (c.free < 3)
                continue;
#endif
            const std::string what =
                std::to_string(c.free) + " free, " + std::to_string(threads) + " threads";
            const std::size_t openBefore = openDescriptors();
            struct rlimit tight = saved;
            tight.rlim_cur = limitLeaving(c.free);
            ::setrlimit(RLIMIT_NOFILE, &tight);
            ScanOptions options;
            options.threads = threads;
            const bool complete = scan(fx.path(), options);
            ::setrlimit(RLIMIT_NOFILE, &saved);

            EXPECT_EQ(openDescriptors(), openBefore) << what << ": descriptors leaked";
            ASSERT_EQ(complete, c.complete) << what;
            if (complete) {
                EXPECT_EQ(tree->nodeCount(), entries + 1) << what;
                EXPECT_EQ(text(0, FileBytes), QString::number(Depth)) << what;
                EXPECT_TRUE(tree->unreadableFolders().empty()) << what;
                expectInvariants();
            } else {
                // Never a silent gap: the result says why and where.
                EXPECT_EQ(result.stop, ScanStop::NoDescriptors) << what;
                EXPECT_EQ(result.error, EMFILE) << what;
                EXPECT_NE(result.stoppedAt, NoNode) << what;
                EXPECT_LT(tree->nodeCount(), entries + 1) << what;
            }
        }
    }
    NodeIndex deepest = 0;
    for (NodeIndex n = 0; n < tree->nodeCount(); ++n)
        deepest = tree->nameBytes(n) == "byte" ? n : deepest;
    EXPECT_GT(tree->fullPathBytes(deepest).size(), PATH_MAX);
}

TEST_F(FolderScannerTest, RunningOutOfMemoryKeepsWhatWasBuiltAndSaysWhere)
{
    fx.makeFolder("a");
    fx.makeFile("a/small", 3);
    fx.makeFolder("b");
    // Names enough to need a second chunk of name storage.
    const QByteArray stem = QByteArray(240, 'n');
    for (int i = 0; i < 6000; ++i)
        fx.makeFile("b/" + stem + QByteArray::number(i), 1);

    for (const unsigned threads : ThreadCounts) {
        ScanOptions options;
        options.threads = threads;
        std::size_t needed = 0;
        {
            const AllocationBudget unlimited(~std::size_t(0) / 2);
            ASSERT_TRUE(scan(fx.path(), options));
            needed = unlimited.used();
        }
        const std::size_t openBefore = openDescriptors();
        const struct
        {
            std::size_t budget;
            bool anyTree;
        } cases[] = {
            {0, false}, // not even the top node
            {needed - (512 << 10), true}, // the last chunk of names does not fit
        };
        for (const auto &c : cases) {
            const std::string what =
                std::to_string(c.budget) + " bytes, " + std::to_string(threads) + " threads";
            {
                const AllocationBudget budget(c.budget);
                EXPECT_FALSE(scan(fx.path(), options)) << what;
            }
            EXPECT_EQ(result.stop, ScanStop::OutOfMemory) << what;
            EXPECT_EQ(openDescriptors(), openBefore) << what << ": descriptors leaked";
            ASSERT_EQ(tree != nullptr, c.anyTree) << what;
            if (tree) {
                EXPECT_EQ(tree->nameBytes(result.stoppedAt), "b") << what;
                EXPECT_GT(tree->nodeCount(), 3u) << what;
                EXPECT_LT(tree->nodeCount(), 6005u) << what;
                expectInvariants();
            }
        }
    }
}

// A failure nobody foresaw (here the progress report throws) ends the scan as any
// stop does, on every thread count: what was found is kept and rolled up, nothing
// stays open, and the stop says the scan failed instead of blaming memory.
TEST_F(FolderScannerTest, AnUnforeseenFailureStopsTheScanAsSuch)
{
    const Fixture many(ManyEntriesParent());
    // Entries enough that the first progress report (at 16,384 entries at most) comes
    // well before the end, even with four threads listing a folder each meanwhile.
    constexpr int Folders = 80;
    constexpr int Files = 500;
    for (int f = 0; f < Folders; ++f) {
        const QByteArray folder = "f" + QByteArray::number(f);
        many.makeFolder(folder);
        for (int e = 0; e < Files; ++e)
            many.makeFile(folder + "/" + QByteArray::number(e), 1);
    }
    constexpr std::size_t All = Folders * (Files + 1) + 1;

    for (const unsigned threads : ThreadCounts) {
        const std::string what = std::to_string(threads) + " threads";
        const std::size_t openBefore = openDescriptors();
        ScanOptions options;
        options.threads = threads;
        options.progress = [](std::uint64_t, const QByteArray &) {
            throw std::runtime_error("report failed");
        };
        EXPECT_FALSE(scan(many.path(), options)) << what;
        EXPECT_EQ(result.stop, ScanStop::Failed) << what;
        EXPECT_EQ(result.error, 0) << what;
        EXPECT_NE(result.stoppedAt, NoNode) << what;
        EXPECT_EQ(openDescriptors(), openBefore) << what << ": descriptors leaked";
        ASSERT_NE(tree, nullptr) << what;
        EXPECT_LT(tree->nodeCount(), All) << what;
        expectInvariants();
    }
    EXPECT_STRNE(ScanStopText(ScanStop::Failed), "");
    EXPECT_STRNE(ScanStopText(ScanStop::Failed), ScanStopText(ScanStop::OutOfMemory));
}

// The tree a scan hands out is classified when ranges were asked for, as of the
// moment the scan ended, also when it stopped short; without ranges it is not.
TEST_F(FolderScannerTest, ClassifiesTheFilesAsTheScanEnds)
{
    fx.makeFile("small", 10);
    fx.makeFile("large", 5000);
    fx.makeFolder("inner");
    const RangeBounds ranges {{1024, 1e6}, {1, 30, 365}};
    const struct
    {
        bool withRanges;
        bool cancelled;
    } cases[] = {
        {false, false},
        {true, false},
        {true, true},
    };
    for (const auto &c : cases) {
        const std::string what =
            std::string(c.withRanges ? "with ranges" : "without ranges") + (c.cancelled ? ", cancelled" : "");
        const std::atomic<bool> cancel {c.cancelled};
        ScanOptions options;
        options.cancel = &cancel;
        if (c.withRanges)
            options.ranges = ranges;
        const std::int64_t before = std::time(nullptr);
        EXPECT_EQ(scan(fx.path(), options), !c.cancelled) << what;
        const std::int64_t after = std::time(nullptr);
        ASSERT_NE(tree, nullptr) << what;
        EXPECT_EQ(tree->isClassified(), c.withRanges) << what;
        if (!c.withRanges)
            continue;
        const RangeClassification &classified = tree->classification();
        EXPECT_EQ(classified.sizeBounds, ranges.sizeBounds) << what;
        EXPECT_EQ(classified.ageBounds, ranges.ageBounds) << what;
        EXPECT_GE(classified.moment, before) << what;
        EXPECT_LE(classified.moment, after) << what;
        if (c.cancelled)
            continue;
        const auto top = children(0);
        EXPECT_EQ(tree->sizeBucket(top.at("small")), 0) << what;
        EXPECT_EQ(tree->sizeBucket(top.at("large")), 1) << what;
        EXPECT_EQ(tree->sizeBucket(top.at("inner")), -1) << what;
        EXPECT_EQ(tree->ageBucket(top.at("small"), TimeKind::Write), 0) << what;
    }
}

TEST_F(FolderScannerTest, UnreadableFoldersStayEmptyAndAreMarked)
{
    fx.makeFolder("closed");
    fx.makeFile("closed/secret", 100);
    fx.makeFolder("listable"); // names can be read, entries cannot be examined
    fx.makeFile("listable/hidden-size", 100);
    fx.makeFolder("listable/inner");
    fx.makeFolder("open");
    fx.makeFile("open/visible", 10);
    ::chmod(fx.at("closed").constData(), 0700);
    ::chmod(fx.at("listable").constData(), 0744);

    const int status = RunAsNobody([this] {
        if (!scan(fx.path()))
            return 255;
        auto top = children(0);
        const NodeIndex closed = top.at("closed");
        const NodeIndex listable = top.at("listable");
        auto inside = children(listable);
        const NodeIndex file = inside.at("hidden-size");
        const NodeIndex inner = inside.at("inner");
        const auto &marked = tree->unreadableFolders();
        // Each failed check sets its own bit of the exit status.
        const bool checks[] = {
            tree->childCount(closed) == 0 && text(closed, FileType) == u"folder",
            text(closed, FileBytes) == u"0" && text(closed, FileCount) == u"0",
            // The listing tells files from folders even where stat cannot look.
            text(file, FileType) == u"file" && text(file, FileBytes).isEmpty()
                && text(file, FullPath).endsWith(u"listable/hidden-size"),
            text(inner, FileType) == u"folder" && tree->unreadableError(inner) == EACCES,
            tree->unreadableError(closed) == EACCES && tree->unreadableError(listable) == 0
                && tree->unreadableError(0) == 0 && marked.size() == 2,
            text(listable, FileBytes) == u"0" && text(top.at("open"), FileBytes) == u"10",
            text(0, FileBytes) == u"10" && text(0, FileCount) == u"6",
        };
        int failed = 0;
        for (std::size_t i = 0; i < std::size(checks); ++i)
            failed |= checks[i] ? 0 : 1 << i;
        return failed;
    });
    if (status < 0)
        GTEST_SKIP() << "cannot drop privileges to the user nobody here";
    EXPECT_EQ(status, 0);
}

TEST_F(FolderScannerTest, TopFolderThatCannotBeReadSaysWhy)
{
    fx.makeFolder("closed");
    fx.makeFile("closed/secret", 100);
    ::chmod(fx.at("closed").constData(), 0711); // searchable, not readable
    const int status = RunAsNobody([this] {
        scan(fx.at("closed"));
        return result.stop == ScanStop::TopUnreadable && result.error == EACCES && tree->nodeCount() == 1
                && tree->unreadableError(0) == EACCES && text(0, FileBytes) == u"0"
            ? 0
            : 1;
    });
    if (status < 0)
        GTEST_SKIP() << "cannot drop privileges to the user nobody here";
    EXPECT_EQ(status, 0);

    scan(fx.at("not-there"));
    EXPECT_EQ(result.stop, ScanStop::TopUnreadable);
    EXPECT_EQ(result.error, ENOENT);
    ASSERT_EQ(tree->nodeCount(), 1u);
    EXPECT_EQ(text(0, FileType), QStringLiteral("folder"));
}

TEST_F(FolderScannerTest, RowsOfAnEarlierScanOutliveTheNext)
{
    Fixture other;
    for (const char *name : {"a", "b", "c", "d", "e"})
        fx.makeFile(name, 1);
    other.makeFile("second", 2);
    scan(fx.path());
    const TCatalogNode row(tree, 5);
    const QString before = row.text(FileName);
    ASSERT_FALSE(before.isEmpty());

    // The next scan is a tree of its own: the row still reads the scan it came from.
    scan(other.path());
    ASSERT_EQ(tree->nodeCount(), 2u);
    EXPECT_EQ(text(0, FileName), QString::fromUtf8(other.path()));
    EXPECT_EQ(text(1, FileName), QStringLiteral("second"));
    EXPECT_EQ(text(0, FileBytes), QStringLiteral("2"));
    EXPECT_EQ(row.text(FileName), before);
    EXPECT_EQ(row.text(FileBytes), QStringLiteral("1"));

    CatalogTree built;
    built.addTop("/x");
    EXPECT_THROW(built.addTop("/y"), std::logic_error);
}

TEST_F(FolderScannerTest, CancelKeepsWhatWasFound)
{
    const Fixture many(ManyEntriesParent());
    // Entries enough that the first progress report (at 16,384 entries at most) comes
    // well before the end, even with four threads listing a folder each meanwhile.
    constexpr int Folders = 80;
    constexpr int Files = 500;
    for (int f = 0; f < Folders; ++f) {
        const QByteArray folder = "f" + QByteArray::number(f);
        many.makeFolder(folder);
        for (int e = 0; e < Files; ++e)
            many.makeFile(folder + "/" + QByteArray::number(e), 1);
    }
    constexpr std::size_t All = Folders * (Files + 1) + 1;

    for (const unsigned threads : ThreadCounts) {
        for (const bool atOnce : {true, false}) {
            const std::string what =
                std::to_string(threads) + (atOnce ? " threads, at once" : " threads, midway");
            std::atomic<bool> cancel {atOnce};
            std::atomic<int> reporting {0};
            std::atomic<bool> overlapped {false};
            ScanOptions options;
            options.threads = threads;
            options.cancel = &cancel;
            options.progress = [&](std::uint64_t, const QByteArray &) {
                if (reporting.fetch_add(1) != 0)
                    overlapped = true;
                cancel = true;
                reporting.fetch_sub(1);
            };
            EXPECT_FALSE(scan(many.path(), options)) << what;
            EXPECT_EQ(result.stop, ScanStop::Cancelled) << what;
            EXPECT_NE(result.stoppedAt, NoNode) << what;
            EXPECT_GE(tree->nodeCount(), 1u) << what;
            EXPECT_LT(tree->nodeCount(), All) << what;
            EXPECT_FALSE(overlapped) << what << ": progress reported from two threads at once";
            expectInvariants();
        }
    }
}

// Threads keep folders open for later; when another part of the process takes
// nearly every descriptor in the middle of a scan, they give them back and the scan
// still walks everything.
TEST_F(FolderScannerTest, DescriptorsTakenByOthersMidScanAreGivenBack)
{
    const Fixture deep(ManyEntriesParent());
    // Four levels of five folders, forty files in each of the last: the first
    // progress report (where the descriptors are taken) comes well before the end.
    std::vector<QByteArray> level {QByteArray()};
    std::size_t all = 1;
    for (int depth = 0; depth < 4; ++depth) {
        std::vector<QByteArray> next;
        for (const QByteArray &parent : level) {
            for (int f = 0; f < 5; ++f) {
                next.push_back(parent + (parent.isEmpty() ? "" : "/") + "d" + QByteArray::number(f));
                deep.makeFolder(next.back());
            }
        }
        all += next.size();
        level = std::move(next);
    }
    for (const QByteArray &folder : level) {
        for (int e = 0; e < 40; ++e)
            deep.makeFile(folder + "/" + QByteArray::number(e), 1);
    }
    all += level.size() * 40;

    struct rlimit saved
    { };
    ::getrlimit(RLIMIT_NOFILE, &saved);
    for (const unsigned threads : ThreadCounts) {
        const std::string what = std::to_string(threads) + " threads";
        const std::size_t openBefore = openDescriptors();
        std::vector<int> taken;
        ScanOptions options;
        options.threads = threads;
        options.progress = [&](std::uint64_t, const QByteArray &) {
            if (!taken.empty())
                return;
            for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
                taken.push_back(fd);
            for (int i = 0; i < 1 && !taken.empty(); ++i) {
                ::close(taken.back());
                taken.pop_back();
            }
        };
        struct rlimit tight = saved;
        tight.rlim_cur = limitLeaving(64);
        ::setrlimit(RLIMIT_NOFILE, &tight);
        const bool complete = scan(deep.path(), options);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_FALSE(taken.empty()) << what << ": no progress report came";
        for (const int fd : taken)
            ::close(fd);

        EXPECT_TRUE(complete) << what << ": " << ScanStopText(result.stop);
        EXPECT_EQ(tree->nodeCount(), all) << what;
        EXPECT_TRUE(tree->unreadableFolders().empty()) << what;
        EXPECT_EQ(openDescriptors(), openBefore) << what << ": descriptors leaked";
        expectInvariants();
    }
}

TEST_F(FolderScannerTest, OneFileSystemStopsAtMountPoints)
{
    fx.makeFolder("plain");
    fx.makeFile("plain/file", 3);
    fx.makeFolder("mounted");
    if (::mount("folvane-test", fx.at("mounted").constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "): needs root and a mount namespace that allows it";
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount {fx.at("mounted")};
    fx.makeFolder("mounted/inner");
    fx.makeFile("mounted/inner/file", 40);
    fx.makeFile("mounted/file", 500);

    for (const unsigned threads : ThreadCounts) {
        for (const bool oneFileSystem : {false, true}) {
            const std::string what =
                std::to_string(threads) + " threads" + (oneFileSystem ? ", one file system" : "");
            ScanOptions options;
            options.threads = threads;
            options.oneFileSystem = oneFileSystem;
            ASSERT_TRUE(scan(fx.path(), options)) << what;
            expectInvariants();
            const auto top = children(0);
            const NodeIndex mounted = top.at("mounted");
            EXPECT_EQ(text(mounted, FileType), QStringLiteral("folder")) << what;
            EXPECT_EQ(tree->childCount(mounted), oneFileSystem ? 0u : 2u) << what;
            EXPECT_EQ(tree->unreadableError(mounted), 0) << what;
            EXPECT_EQ(text(0, FileBytes), oneFileSystem ? QStringLiteral("3") : QStringLiteral("543"))
                << what;
            EXPECT_EQ(tree->childCount(top.at("plain")), 1u) << what;
        }
    }
}

TEST_F(FolderScannerTest, HardLinksCountOnceWhenAsked)
{
    fx.makeFolder("a");
    fx.makeFolder("b");
    fx.makeFolder("b/c");
    fx.makeFile("a/big", 1000);
    fx.makeFile("single", 5);
    for (const char *link : {"a/same-folder", "b/other", "b/c/deeper"})
        ASSERT_EQ(::link(fx.at("a/big").constData(), fx.at(link).constData()), 0) << link;

    for (const unsigned threads : ThreadCounts) {
        for (const bool once : {false, true}) {
            const std::string what = std::to_string(threads) + " threads" + (once ? ", links once" : "");
            ScanOptions options;
            options.threads = threads;
            options.countHardLinksOnce = once;
            ASSERT_TRUE(scan(fx.path(), options)) << what;
            expectInvariants();
            EXPECT_EQ(text(0, FileBytes), once ? QStringLiteral("1005") : QStringLiteral("4005")) << what;
            // Every link stays a file with its times; one of them keeps the size.
            int withSize = 0;
            for (NodeIndex n = 1; n < tree->nodeCount(); ++n) {
                if (tree->nameBytes(n) == "single" || !tree->isFile(n))
                    continue;
                EXPECT_FALSE(text(n, WriteTime).isEmpty()) << what;
                withSize += tree->node(n).size == 1000 ? 1 : 0;
                EXPECT_TRUE(tree->node(n).size == 1000 || (once && tree->node(n).size == 0)) << what;
            }
            EXPECT_EQ(withSize, once ? 1 : 4) << what;
            EXPECT_EQ(text(children(0).at("single"), FileBytes), QStringLiteral("5")) << what;
        }
    }
}

// Entries deleted by another program after their folder was listed and before they
// were examined are left out wherever they stand among their siblings, so the tree
// is the one a scan a moment later gives, and its counts add up.
TEST_F(FolderScannerTest, EntriesThatVanishAfterTheListingAreLeftOut)
{
    const auto withoutTimes = [](std::vector<NodeRecord> records) {
        // Deleting entries moves their folders' times.
        for (NodeRecord &r : records)
            r.accessTime = r.writeTime = r.createTime = 0;
        return records;
    };
    for (const unsigned threads : ThreadCounts) {
        const std::string what = std::to_string(threads) + " threads";
        const Fixture churn;
        // Folders end in '/'. What vanishes stands among kept entries, fills a folder, or is one.
        for (const auto &[path, size] : std::initializer_list<std::pair<QByteArray, int>> {{"keep-a", 1},
                 {"vanish-1", 10}, {"d/", 0}, {"d/vanish-2", 20}, {"d/keep-b", 2}, {"d/vanish-3", 30},
                 {"d/sub/", 0}, {"d/sub/keep-c", 4}, {"all-gone/", 0}, {"all-gone/vanish-4", 40},
                 {"all-gone/vanish-5", 50}, {"vanish-folder/", 0}, {"late/", 0}, {"late/keep-d", 8}}) {
            if (path.endsWith('/'))
                churn.makeFolder(path.chopped(1));
            else
                churn.makeFile(path, std::uint64_t(size));
        }
        ScanOptions options;
        options.threads = threads;
        {
            const ExaminationHook vanish([](int dirFd, const char *name) {
                if (std::strncmp(name, "vanish-", 7) == 0 && ::unlinkat(dirFd, name, 0) != 0
                    && errno == EISDIR)
                    ::unlinkat(dirFd, name, AT_REMOVEDIR);
            });
            ASSERT_TRUE(scan(churn.path(), options)) << what;
        }
        expectInvariants();
        const ScanCounts counts = CountScan(*tree);
        EXPECT_EQ(counts.entries, 8u) << what;
        EXPECT_EQ(counts.files, 4u) << what;
        EXPECT_EQ(counts.folders, 4u) << what;
        EXPECT_EQ(text(0, FileBytes), QStringLiteral("15")) << what;
        EXPECT_EQ(tree->childCount(children(0).at("all-gone")), 0u) << what;
        const std::vector<NodeRecord> churned = withoutTimes(Records(*tree));
        ASSERT_FALSE(churned.empty()) << what << ": children of a folder not consecutive after it";

        ASSERT_TRUE(scan(churn.path(), options)) << what;
        EXPECT_EQ(churned, withoutTimes(Records(*tree))) << what;
    }
}

// A scan of the default starts more threads while its threads wait for the device
// (here every examination reads a block from the disk, past the page cache, and
// sleeps, as on a disk whose inodes are not cached yet), not while they only sleep
// (as on a lock); a scan told how many threads to use keeps to them.
TEST_F(FolderScannerTest, ThreadsAreAddedWhileTheyWaitForTheDevice)
{
    if (!SleepMeter().share(std::chrono::nanoseconds(0), std::chrono::nanoseconds(0)))
        GTEST_SKIP() << "the kernel gives no figures of a thread's sleep and reads here";
    cpu_set_t cores;
    CPU_ZERO(&cores);
    ASSERT_EQ(::sched_getaffinity(0, sizeof cores, &cores), 0);
    const unsigned startWith = unsigned(CPU_COUNT(&cores));
    if (startWith >= 16)
        GTEST_SKIP() << "as many cores as a scan grows to";
    const Fixture disk;
    disk.makeFile("block", 0);
    {
        const int fd = ::open(disk.at("block").constData(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string data(4096, 'x');
        ASSERT_EQ(::write(fd, data.data(), data.size()), ssize_t(data.size()));
        ::fsync(fd);
        ::close(fd);
    }
    const int direct = ::open(disk.at("block").constData(), O_RDONLY | O_DIRECT);
    // A buffer of each read's own: the scan's threads read at once.
    const auto fromDisk = [direct] {
        void *const buffer = std::aligned_alloc(4096, 4096);
        const bool read = ::pread(direct, buffer, 4096, 0) == 4096;
        std::free(buffer);
        return read;
    };
    if (direct < 0 || !fromDisk()) {
        if (direct >= 0)
            ::close(direct);
        GTEST_SKIP() << "no reads past the page cache in " << disk.path().toStdString();
    }
    for (int f = 0; f < 16; ++f) {
        const QByteArray folder = "f" + QByteArray::number(f);
        fx.makeFolder(folder);
        for (int e = 0; e < 16; ++e)
            fx.makeFile(folder + "/" + QByteArray::number(e), 1);
    }

    const struct
    {
        unsigned threads;
        bool device;
        unsigned fewest, most;
    } cases[] = {
        {0, true, startWith + 1, 16},
        {0, false, 1, startWith},
        {2, true, 1, 2},
    };
    for (const auto &c : cases) {
        const std::string what = std::to_string(c.threads) + " threads" + (c.device ? ", device" : ", sleep");
        std::mutex mutex;
        std::set<std::thread::id> examiners;
        {
            const ExaminationHook slow([&](int, const char *) {
                if (c.device)
                    fromDisk();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                const std::lock_guard lock(mutex);
                examiners.insert(std::this_thread::get_id());
            });
            ScanOptions options;
            options.threads = c.threads;
            ASSERT_TRUE(scan(fx.path(), options)) << what;
        }
        EXPECT_EQ(tree->nodeCount(), 16u * 17 + 1) << what;
        EXPECT_GE(examiners.size(), c.fewest) << what;
        EXPECT_LE(examiners.size(), c.most) << what;
    }
    ::close(direct);
}

} // namespace
