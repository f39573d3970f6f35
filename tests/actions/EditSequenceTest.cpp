#include "RemovalFixture.h"
#include "TreeComparison.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<QByteArray, NodeIndex>>;

// The entries below `folder` (not itself), with their paths below the tree's top.
Entries entriesBelow(const CatalogTree &tree, NodeIndex folder, const QByteArray &path)
{
    Entries entries;
    std::vector<std::pair<NodeIndex, QByteArray>> pending {{folder, path}};
    while (!pending.empty()) {
        const auto [n, p] = pending.back();
        pending.pop_back();
        for (std::uint32_t r = 0; r < tree.childCount(n); ++r) {
            const NodeIndex child = tree.child(n, r);
            const QByteArray name = tree.nameBytes(child).toByteArray();
            const QByteArray childPath = p.isEmpty() ? name : p + '/' + name;
            entries.emplace_back(childPath, child);
            pending.emplace_back(child, childPath);
        }
    }
    return entries;
}

class RandomTree
{
public:
    RandomTree(const Fixture &fx, unsigned seed) : m_fx(fx), m_random(seed) { }

    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::size_t(m_random() % n); }

    // Files, folders and links below `folder` ("" the top), `levels` deep.
    void fill(const QByteArray &folder, int levels)
    {
        const std::size_t children = below(6);
        for (std::size_t c = 0; c < children; ++c) {
            const QByteArray path = (folder.isEmpty() ? QByteArray() : folder + '/') + name();
            const std::size_t kind = below(10);
            if (kind < 3 && levels > 0) {
                m_fx.makeFolder(path);
                fill(path, levels - 1);
            } else if (kind == 3) {
                m_fx.makeLink(path, "elsewhere");
            } else {
                m_fx.makeFile(path, below(1000));
            }
        }
    }

    // Files added, grown and removed below `folder` (a path below the top, "" the
    // top itself), whose entries are `entries`.
    void change(const QByteArray &folder, const Entries &entries)
    {
        std::vector<QByteArray> folders {folder};
        std::vector<QByteArray> files;
        for (const auto &[path, node] : entries)
            (Exists(m_fx.at(path) + "/.") ? folders : files).push_back(path);
        for (std::size_t k = below(3) + 1; k > 0; --k) {
            const std::size_t what = below(3);
            if (what == 0 || files.empty()) {
                // Into a folder of the change, or into `folder` when that one went.
                const QByteArray &pick = folders[below(folders.size())];
                const QByteArray &in = Exists(m_fx.at(pick)) ? pick : folder;
                m_fx.makeFile((in.isEmpty() ? QByteArray() : in + '/') + name(), below(5000));
            } else if (what == 1) {
                // A file gone or a link that points nowhere stays as it is.
                const QByteArray &file = files[below(files.size())];
                [[maybe_unused]] const int status =
                    ::truncate(m_fx.at(file).constData(), off_t(below(5000) + 1000));
            } else {
                const QByteArray &gone = entries[below(entries.size())].first;
                [[maybe_unused]] const int status =
                    std::system(("rm -rf '" + m_fx.at(gone).toStdString() + "'").c_str());
            }
        }
    }

private:
    QByteArray name() { return "e" + QByteArray::number(m_serial++); }

    const Fixture &m_fx;
    std::mt19937 m_random;
    int m_serial = 0;
};

// Random sequences of trash, delete and refresh, each step followed in the tree and
// checked against a new scan of the whole; every entry the step left keeps being
// found through successor().
TEST(EditSequence, TreeStaysAsANewScanFindsIt)
{
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        const TemporaryTrash trash;
        Fixture fx;
        RandomTree random(fx, seed);
        random.fill(QByteArray(), 3);
        const auto tree = CompleteScan(fx.path());
        for (int step = 0; step < 15; ++step) {
            const std::string what = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            const Entries before = entriesBelow(*tree, tree->top(), QByteArray());
            const std::size_t action = random.below(3);
            if (action < 2 && !before.empty()) {
                std::vector<NodeIndex> chosen;
                for (std::size_t k = random.below(3) + 1; k > 0; --k)
                    chosen.push_back(before[random.below(before.size())].second);
                const RemovalResult result =
                    removeEntries(action == 0 ? Removal::Trash : Removal::Delete, *tree, chosen);
                ASSERT_EQ(result.count(RemovalStatus::Removed), chosen.size()) << what;
                tree->removeEntries(result.removedNodes());
            } else {
                Entries folders {{QByteArray(), tree->top()}};
                for (const auto &entry : before) {
                    if (tree->isFolder(entry.second))
                        folders.push_back(entry);
                }
                const auto &[path, folder] = folders[random.below(folders.size())];
                random.change(path, entriesBelow(*tree, folder, path));
                tree->replaceFolder(folder, *CompleteScan(tree->fullPathBytes(folder)));
            }

            const auto fresh = CompleteScan(fx.path());
            const std::vector<std::string> differences = TreeDifferences(*tree, *fresh);
            ASSERT_TRUE(differences.empty()) << what << "\n" << JoinLines(differences);
            for (const auto &[path, node] : before) {
                const NodeIndex now = tree->successor(node);
                if (NodeAtPath(*fresh, path) == NoNode) {
                    EXPECT_EQ(now, NoNode) << what << " " << path.toStdString();
                } else {
                    ASSERT_NE(now, NoNode) << what << " " << path.toStdString();
                    EXPECT_EQ(tree->fullPathBytes(now), fx.at(path)) << what;
                }
            }
        }
    }
}

} // namespace
