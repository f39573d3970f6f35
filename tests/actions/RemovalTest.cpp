#include "EntryRemoval.h"
#include "RemovalFixture.h"
#include "RunAsNobody.h"
#include "TreeComparison.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const Removal Both[] = {Removal::Trash, Removal::Delete};

std::vector<NodeIndex> nodesAt(const CatalogTree &tree, const std::vector<QByteArray> &paths)
{
    std::vector<NodeIndex> nodes;
    for (const QByteArray &p : paths)
        nodes.push_back(NodeAtPath(tree, p));
    return nodes;
}

std::string describe(const RemovalResult &result)
{
    std::string text;
    for (const RemovalOutcome &o : result.outcomes)
        text += OutcomeText(o).toStdString() + '\n';
    return text;
}

// The tree follows what was removed, and then reads as a new scan does.
void expectTreeFollows(
    CatalogTree &tree, const RemovalResult &result, const QByteArray &top, const std::string &what)
{
    tree.removeEntries(result.removedNodes());
    for (const NodeIndex folder : result.partlyRemovedNodes()) {
        const NodeIndex now = tree.successor(folder);
        tree.replaceFolder(now, *CompleteScan(tree.fullPathBytes(now)));
    }
    const std::vector<std::string> differences = TreeDifferences(tree, *CompleteScan(top));
    EXPECT_TRUE(differences.empty()) << what << "\n" << JoinLines(differences);
}

// Every chosen entry leaves its place: in the trash with its record, or deleted with
// everything below it; nothing else changes.
TEST(Removal, RemovesFilesFoldersAndLinksAsChosen)
{
    const struct
    {
        std::vector<QByteArray> chosen;
        std::uint64_t deletedEntries; // counted by a deletion, over all chosen
        std::vector<QByteArray> stay; // beside them
    } cases[] = {
        {{"a.txt"}, 1, {"b/c.bin"}},
        {{"b"}, 6, {"a.txt", "link"}},
        {{"link"}, 1, {"b/d/e"}}, // the link goes, not what it points to
        // A link inside a folder goes as the link: what it points to stays.
        {{"b/d/e", "i", NotUtf8Name, PercentName}, 8, {"b/d/f", "a.txt", "b/c.bin"}},
    };
    for (const Removal removal : Both) {
        for (const auto &c : cases) {
            const std::string what = std::string(nameOf(removal)) + " " + c.chosen.front().toStdString();
            const TemporaryTrash trash;
            Fixture fx;
            MakeSampleTree(fx);
            const auto tree = CompleteScan(fx.path());
            const RemovalResult result = removeEntries(removal, *tree, nodesAt(*tree, c.chosen));

            ASSERT_EQ(result.outcomes.size(), c.chosen.size()) << what;
            EXPECT_EQ(result.count(RemovalStatus::Removed), c.chosen.size()) << what << "\n"
                                                                             << describe(result);
            std::uint64_t deleted = 0;
            for (std::size_t k = 0; k < c.chosen.size(); ++k) {
                const RemovalOutcome &o = result.outcomes[k];
                const QByteArray original = fx.at(c.chosen[k]);
                EXPECT_EQ(o.path, original) << what;
                EXPECT_FALSE(Exists(original)) << what << " " << original.toStdString();
                deleted += o.removedEntries;
                if (removal == Removal::Delete) {
                    EXPECT_TRUE(o.trashedAs.isEmpty());
                    continue;
                }
                // The trash holds the entry under its own name, its record the exact bytes.
                const QByteArray name = c.chosen[k].mid(c.chosen[k].lastIndexOf('/') + 1);
                EXPECT_EQ(o.trashedAs, trash.files() + '/' + name) << what;
                EXPECT_TRUE(Exists(trash.files() + '/' + name)) << what;
                const TrashRecord record = ReadRecord(trash.info() + '/' + name + ".trashinfo");
                EXPECT_EQ(record.path, original) << what;
                EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                                .match(QString::fromLatin1(record.date))
                                .hasMatch())
                    << record.date.toStdString();
            }
            EXPECT_EQ(deleted, removal == Removal::Delete ? c.deletedEntries : 0u) << what;
            for (const QByteArray &s : c.stay)
                EXPECT_TRUE(Exists(fx.at(s))) << what << " " << s.toStdString();
            expectTreeFollows(*tree, result, fx.path(), what);
        }
    }
    // A folder in the trash keeps what it held; a link keeps its target's name.
    const TemporaryTrash trash;
    Fixture fx;
    MakeSampleTree(fx);
    const auto tree = CompleteScan(fx.path());
    MoveToTrash(*tree, nodesAt(*tree, {"b", "link"}));
    EXPECT_TRUE(Exists(trash.files() + "/b/d/f"));
    char target[16] = {};
    EXPECT_EQ(::readlink((trash.files() + "/link").constData(), target, sizeof target - 1), 1);
    EXPECT_STREQ(target, "b");
}

// A chain far deeper than the folders a deletion keeps open: those closed on the
// way down are opened again on the way up.
TEST(Removal, DeletesFoldersOfAnyDepth)
{
    Fixture fx;
    QByteArray path = "deep";
    for (int level = 0; level < 100; ++level) {
        fx.makeFolder(path);
        fx.makeFile(path + "/file", 1);
        path += "/d";
    }
    const auto tree = CompleteScan(fx.path());
    const RemovalResult result = DeletePermanently(*tree, nodesAt(*tree, {"deep"}));
    EXPECT_EQ(result.count(RemovalStatus::Removed), 1u) << describe(result);
    EXPECT_EQ(result.outcomes[0].removedEntries, 200u);
    EXPECT_FALSE(Exists(fx.at("deep")));
}

// An entry that is no longer what the scan found is skipped, and nothing is touched:
// not the entry, not what stands in its place.
TEST(Removal, SkipsWhatChangedSinceTheScan)
{
    const struct
    {
        const char *what;
        QByteArray chosen;
        std::function<void(const Fixture &)> change;
        const char *reason;
    } cases[] = {
        {"vanished", "a.txt", [](const Fixture &fx) { ::unlink(fx.at("a.txt").constData()); },
            "it no longer exists"},
        {"a folder become a file", "h",
            [](const Fixture &fx) {
                ::rmdir(fx.at("h").constData());
                fx.makeFile("h", 3);
            },
            "it is no longer a folder"},
        {"a file become a folder", "a.txt",
            [](const Fixture &fx) {
                ::unlink(fx.at("a.txt").constData());
                fx.makeFolder("a.txt");
            },
            "it is a folder now"},
        {"a link become a folder", "link",
            [](const Fixture &fx) {
                ::unlink(fx.at("link").constData());
                fx.makeFolder("link");
                fx.makeFile("link/inner", 1);
            },
            "it is a folder now"},
        // A folder on the way swapped for a link to another holding the same name:
        // that one is never reached.
        {"its folder become a link", "i/j",
            [](const Fixture &fx) {
                fx.makeFolder("elsewhere");
                fx.makeFile("elsewhere/j", 1);
                [[maybe_unused]] const int removed =
                    std::system(("rm -rf '" + fx.at("i").toStdString() + "'").c_str());
                fx.makeLink("i", "elsewhere");
            },
            "it no longer exists"},
        {"the scan's top", "", [](const Fixture &) {}, "the scanned folder itself is never removed"},
    };
    for (const Removal removal : Both) {
        for (const auto &c : cases) {
            const std::string what = std::string(nameOf(removal)) + ", " + c.what;
            const TemporaryTrash trash;
            Fixture fx;
            MakeSampleTree(fx);
            const auto tree = CompleteScan(fx.path());
            c.change(fx);
            const auto before = CompleteScan(fx.path());

            const RemovalResult result = removeEntries(removal, *tree, {NodeAtPath(*tree, c.chosen)});
            ASSERT_EQ(result.outcomes.size(), 1u);
            EXPECT_EQ(result.outcomes[0].status, RemovalStatus::Skipped) << what;
            EXPECT_EQ(result.outcomes[0].reason.toStdString(), c.reason) << what;
            EXPECT_TRUE(result.removedNodes().empty());
            EXPECT_EQ(JoinLines(TreeDifferences(*before, *CompleteScan(fx.path()))), "") << what;
            EXPECT_FALSE(Exists(trash.files())) << what;
        }
    }
}

// Entries chosen twice or below another chosen one go with it and say so.
TEST(Removal, EntriesWithinChosenFoldersGoWithThem)
{
    for (const Removal removal : Both) {
        const TemporaryTrash trash;
        Fixture fx;
        MakeSampleTree(fx);
        const auto tree = CompleteScan(fx.path());
        const RemovalResult result =
            removeEntries(removal, *tree, nodesAt(*tree, {"b/d", "b", "b/d/e", "b", "", "i/k"}));
        ASSERT_EQ(result.outcomes.size(), 6u);
        for (const std::size_t k : {0, 1, 2, 3, 5})
            EXPECT_EQ(result.outcomes[k].status, RemovalStatus::Removed) << nameOf(removal) << k;
        EXPECT_EQ(result.outcomes[4].status, RemovalStatus::Skipped) << "the top";
        if (removal == Removal::Trash) {
            EXPECT_TRUE(Exists(trash.files() + "/b/d/e"));
            EXPECT_FALSE(Exists(trash.files() + "/d"));
            EXPECT_FALSE(Exists(trash.files() + "/b.2"));
        } else {
            EXPECT_EQ(result.outcomes[1].removedEntries, 6u);
        }
        expectTreeFollows(*tree, result, fx.path(), nameOf(removal));
    }
}

// Names taken in the trash, with or without their record, are never replaced.
TEST(Removal, TrashNamesNeverCollide)
{
    const TemporaryTrash trash;
    Fixture fx;
    MakeSampleTree(fx);
    trash.data().makeFolder("Trash");
    trash.data().makeFolder("Trash/files");
    trash.data().makeFile("Trash/files/a.txt", 99); // left without a record
    for (const char *expected : {"a.txt.2", "a.txt.3"}) {
        fx.makeFile("a.txt", 10);
        const auto tree = CompleteScan(fx.path());
        const RemovalResult result = MoveToTrash(*tree, nodesAt(*tree, {"a.txt"}));
        ASSERT_EQ(result.count(RemovalStatus::Removed), 1u) << describe(result);
        EXPECT_EQ(result.outcomes[0].trashedAs, trash.files() + '/' + expected);
        EXPECT_EQ(ReadRecord(trash.info() + '/' + expected + ".trashinfo").path, fx.at("a.txt"));
    }
    struct stat st;
    ASSERT_EQ(::stat((trash.files() + "/a.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_size, 99);
    EXPECT_FALSE(Exists(trash.info() + "/a.txt.trashinfo"));
}

// Whatever a process may not do stops the removal there and says where and why; what
// was not reached stays. Run as a user for whom permissions apply.
TEST(Removal, StopsWhereTheSystemRefuses)
{
    const TemporaryTrash trash;
    Fixture fx;
    MakeSampleTree(fx);
    fx.makeFolder("ro");
    fx.makeFile("ro/x", 3);
    const auto toNobody = [](const QByteArray &path) {
        return std::system(("chown -R 65534:65534 '" + path.toStdString() + "'").c_str());
    };
    ASSERT_EQ(toNobody(fx.path()), 0);
    ASSERT_EQ(toNobody(trash.data().path()), 0);
    ASSERT_EQ(::chown(fx.at("ro").constData(), 0, 0), 0); // nobody may not write in it
    ASSERT_EQ(::chmod(fx.at("b/d").constData(), 0), 0); // nor list this one
    const auto tree = CompleteScan(fx.path());

    // The outcomes travel back from the child through a pipe, one line each.
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const int status = RunAsNobody([&] {
        ::close(channel[0]);
        std::string report;
        for (const RemovalResult &r : {DeletePermanently(*tree, nodesAt(*tree, {"b", "ro/x"})),
                 MoveToTrash(*tree, nodesAt(*tree, {"ro/x"}))}) {
            for (const RemovalOutcome &o : r.outcomes)
                report += std::to_string(int(o.status)) + ' ' + std::to_string(o.error) + ' '
                    + std::to_string(o.removedEntries) + ' ' + o.stoppedAt.toStdString() + '\n';
        }
        return ::write(channel[1], report.data(), report.size()) == ssize_t(report.size()) ? 0 : 1;
    });
    ::close(channel[1]);
    char buffer[4096] = {};
    const ssize_t got = ::read(channel[0], buffer, sizeof buffer - 1);
    ::close(channel[0]);
    ::chmod(fx.at("b/d").constData(), 0755);
    if (status < 0)
        GTEST_SKIP() << "cannot drop privileges here";
    ASSERT_EQ(status, 0);
    ASSERT_GT(got, 0);
    const QList<QByteArray> lines = QByteArray(buffer, int(got)).split('\n');
    ASSERT_EQ(lines.size(), 4);

    // b: what came before d in its listing is gone, d and what it holds stay.
    const QList<QByteArray> b = lines[0].split(' ');
    EXPECT_EQ(b[0].toInt(), int(RemovalStatus::Failed));
    EXPECT_EQ(b[1].toInt(), EACCES);
    EXPECT_EQ(b[3], fx.at("b/d"));
    const int gone = int(!Exists(fx.at("b/c.bin"))) + int(!Exists(fx.at("b/g")));
    EXPECT_EQ(b[2].toInt(), gone);
    for (const char *stays : {"b", "b/d/e", "b/d/f"})
        EXPECT_TRUE(Exists(fx.at(stays))) << stays;
    // ro/x: neither deleted nor trashed.
    for (const QByteArray &line : {lines[1], lines[2]}) {
        EXPECT_EQ(line,
            QByteArray::number(int(RemovalStatus::Failed)) + ' ' + QByteArray::number(EACCES) + " 0 "
                + fx.at("ro/x"));
    }
    EXPECT_TRUE(Exists(fx.at("ro/x")));

    // The tree follows: b is read again, having lost part of what it held.
    RemovalResult partly;
    partly.outcomes.push_back({NodeAtPath(*tree, "b"), fx.at("b"), RemovalStatus::Failed, QString(), EACCES,
        fx.at("b/d"), std::uint64_t(gone), QByteArray()});
    expectTreeFollows(*tree, partly, fx.path(), "as nobody");
}

// Another file system: its own trash at its top, and a deletion never goes into it.
TEST(Removal, KeepsToEachFileSystem)
{
    const TemporaryTrash trash;
    Fixture fx;
    MakeSampleTree(fx);
    fx.makeFolder("mnt");
    if (::mount("folvane-test", fx.at("mnt").constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: needs root and a mount namespace that allows it";
    struct Unmount
    {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount {fx.at("mnt")};
    fx.makeFolder("mnt/sub");
    fx.makeFile("mnt/sub/f", 5);
    fx.makeFile("mnt/g", 2);
    fx.makeFile("mnt/h", 2);
    const QByteArray uid = QByteArray::number(::geteuid());

    // No shared trash at the top: the user's own there, with paths from the top.
    auto tree = CompleteScan(fx.path());
    RemovalResult result = MoveToTrash(*tree, nodesAt(*tree, {"mnt/g"}));
    ASSERT_EQ(result.count(RemovalStatus::Removed), 1u) << describe(result);
    EXPECT_EQ(result.outcomes[0].trashedAs, fx.at("mnt/.Trash-" + uid + "/files/g"));
    EXPECT_EQ(ReadRecord(fx.at("mnt/.Trash-" + uid + "/info/g.trashinfo")).path, "g");
    struct stat st;
    ASSERT_EQ(::stat(fx.at("mnt/.Trash-" + uid).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A shared .Trash counts only with its sticky bit.
    fx.makeFolder("mnt/.Trash");
    tree = CompleteScan(fx.path());
    result = MoveToTrash(*tree, nodesAt(*tree, {"mnt/h"}));
    EXPECT_EQ(result.outcomes[0].trashedAs, fx.at("mnt/.Trash-" + uid + "/files/h")) << describe(result);
    ASSERT_EQ(::chmod(fx.at("mnt/.Trash").constData(), 01777), 0);
    tree = CompleteScan(fx.path());
    result = MoveToTrash(*tree, nodesAt(*tree, {"mnt/sub"}));
    EXPECT_EQ(result.outcomes[0].trashedAs, fx.at("mnt/.Trash/" + uid + "/files/sub")) << describe(result);
    EXPECT_EQ(ReadRecord(fx.at("mnt/.Trash/" + uid + "/info/sub.trashinfo")).path, "sub");
    EXPECT_FALSE(Exists(trash.files()));

    // Deleting the folder that holds the mount point stops at it; the mount point
    // itself is not chosen at all.
    fx.makeFile("mnt/keep", 1);
    tree = CompleteScan(fx.path());
    result = DeletePermanently(*tree, nodesAt(*tree, {"mnt"}));
    EXPECT_EQ(result.outcomes[0].status, RemovalStatus::Skipped) << describe(result);
    EXPECT_EQ(result.outcomes[0].reason.toStdString(), "another file system is mounted there");
    fx.makeFolder("holder");
    fx.makeFile("holder/m", 1);
    fx.makeFolder("holder/x");
    ASSERT_EQ(::mount("folvane-test", fx.at("holder/x").constData(), "tmpfs", 0, "size=1m"), 0);
    const Unmount second {fx.at("holder/x")};
    fx.makeFile("holder/x/keep", 1);
    tree = CompleteScan(fx.path());
    result = DeletePermanently(*tree, nodesAt(*tree, {"holder"}));
    EXPECT_EQ(result.outcomes[0].status, RemovalStatus::Failed) << describe(result);
    EXPECT_EQ(result.outcomes[0].error, EXDEV);
    EXPECT_EQ(result.outcomes[0].stoppedAt, fx.at("holder/x"));
    EXPECT_TRUE(Exists(fx.at("holder/x/keep")));
    EXPECT_TRUE(Exists(fx.at("mnt/keep")));
}

} // namespace
