#include "CatalogTreeModel.h"
#include "CatalogFields.h"
#include "CellText.h"
#include "FileIcons.h"
#include "Fixture.h"
#include "FolderScanner.h"
#include "LocaleAndZone.h"
#include "ModelTesterWarnings.h"
#include "RollUp.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QImage>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

ListColumn column(const char *name, Qt::Alignment alignment = Qt::AlignLeft, QColor background = {})
{
    const QString header = QString::fromLatin1(name);
    return ListColumn {header, FieldIndexOf(header), alignment, background};
}

const QColor ReadOnlyColour(239, 243, 255);

// Name, size (right, read-only), kind, and a name no field has (shows FileName).
ListColumns testColumns()
{
    return {column("File Name"), column("File Size", Qt::AlignRight, ReadOnlyColour),
        column("File Type", Qt::AlignHCenter), column("NoSuchField")};
}

class CatalogTreeModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pin = std::make_unique<LocaleAndZone>(QLocale::c(), "UTC");
        m_warnings = std::make_unique<ModelTesterWarnings>();
        model.setColumns(testColumns());
    }

    void TearDown() override
    {
        EXPECT_TRUE(m_warnings->warnings().isEmpty()) << m_warnings->warnings().join(u'\n').toStdString();
        m_warnings.reset();
        m_pin.reset();
    }

    // /data
    //   b/          z.txt (5), a.TXT (20)
    //   c.bin (10)
    //   a/          (empty)
    //   locked/     (could not be read)
    void makeTree()
    {
        TreeBuilder t("/data");
        b = t.add(0, "b", NodeKind::Folder);
        c = t.add(0, "c.bin", NodeKind::File, 10);
        a = t.add(0, "a", NodeKind::Folder);
        locked = t.add(0, "locked", NodeKind::Folder);
        z = t.add(b, "z.txt", NodeKind::File, 5);
        bigA = t.add(b, "a.TXT", NodeKind::File, 20);
        t.tree->markUnreadable(locked, EACCES);
        tree = t.finish();
    }

    QStringList childNames(const QModelIndex &parent) const
    {
        QStringList names;
        for (int row = 0; row < model.rowCount(parent); ++row)
            names.append(model.index(row, 0, parent).data().toString());
        return names;
    }

    FileIcons icons;
    CatalogTreeModel model {icons};
    std::shared_ptr<CatalogTree> tree;
    NodeIndex a = NoNode, b = NoNode, c = NoNode, locked = NoNode, z = NoNode, bigA = NoNode;

private:
    std::unique_ptr<LocaleAndZone> m_pin;
    std::unique_ptr<ModelTesterWarnings> m_warnings;
};

// Every node of the scan is reachable exactly once, at the row its parent's order
// gives, and shows its own text.
void expectModelCoversTree(const CatalogTreeModel &model, const CatalogTree &tree)
{
    std::map<NodeIndex, int> seen;
    std::vector<QModelIndex> pending {model.index(0, 0)};
    while (!pending.empty()) {
        const QModelIndex index = pending.back();
        pending.pop_back();
        const NodeIndex node = model.nodeOf(index);
        ASSERT_LT(node, tree.nodeCount());
        ++seen[node];
        EXPECT_EQ(index.data().toString(), CellText(FileName, tree, node));
        EXPECT_EQ(model.rowCount(index), tree.isFolder(node) ? int(tree.childCount(node)) : 0);
        for (int row = 0; row < model.rowCount(index); ++row) {
            const QModelIndex child = model.index(row, 0, index);
            EXPECT_EQ(model.parent(child), index);
            EXPECT_EQ(tree.parent(model.nodeOf(child)), node);
            pending.push_back(child);
        }
    }
    EXPECT_EQ(seen.size(), tree.nodeCount());
    for (const auto &[node, count] : seen)
        EXPECT_EQ(count, 1) << "node " << node;
}

TEST_F(CatalogTreeModelTest, KeepsItsInvariantsThroughScansSortsAndColumnChanges)
{
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    makeTree();
    model.setScan(tree);
    expectModelCoversTree(model, *tree);
    model.sortByField(FileBytes, Qt::DescendingOrder);
    model.sortByField(FileName, Qt::AscendingOrder);
    expectModelCoversTree(model, *tree);

    Fixture fx;
    fx.makeFolder("docs");
    fx.makeFile("docs/report.pdf", 3000);
    fx.makeFile("docs/notes", 10);
    fx.makeFolder("docs/empty");
    fx.makeFile("big.iso", 70000);
    fx.makeFile("small.c", 1);
    const ScanResult scan = ScanFolder(fx.path());
    ASSERT_TRUE(scan.complete());
    model.setScan(scan.tree);
    expectModelCoversTree(model, *scan.tree);
    model.sortByField(FileBytes, Qt::AscendingOrder);
    expectModelCoversTree(model, *scan.tree);
    EXPECT_EQ(childNames(model.index(0, 0)), (QStringList {"docs", "small.c", "big.iso"}));

    ListColumns fewer = testColumns();
    fewer.removeLast();
    model.setColumns(fewer);
    EXPECT_EQ(model.columnCount(), 3);
    model.setColumns(testColumns());

    model.setScan(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.index(0, 0).isValid());
}

TEST_F(CatalogTreeModelTest, SortPutsFoldersFirstAtEveryLevelInBothDirections)
{
    makeTree();
    model.setScan(tree);
    const QModelIndex top = model.index(0, 0);
    const QModelIndex bIndex = model.indexOf(b);
    EXPECT_EQ(childNames(top), (QStringList {"b", "c.bin", "a", "locked"})); // scan order
    EXPECT_EQ(childNames(bIndex), (QStringList {"z.txt", "a.TXT"}));

    model.sortByField(FileName, Qt::AscendingOrder);
    EXPECT_EQ(childNames(top), (QStringList {"a", "b", "locked", "c.bin"}));
    EXPECT_EQ(childNames(model.indexOf(b)), (QStringList {"a.TXT", "z.txt"}));

    model.sortByField(FileBytes, Qt::DescendingOrder);
    EXPECT_EQ(childNames(top).last(), QStringLiteral("c.bin"));
    EXPECT_EQ(childNames(model.indexOf(b)), (QStringList {"a.TXT", "z.txt"}));
    model.sortByField(FileBytes, Qt::AscendingOrder);
    EXPECT_EQ(childNames(model.indexOf(b)), (QStringList {"z.txt", "a.TXT"}));

    // A new scan starts in its own order again.
    model.setScan(tree);
    EXPECT_EQ(childNames(model.index(0, 0)), (QStringList {"b", "c.bin", "a", "locked"}));
}

TEST_F(CatalogTreeModelTest, SelectionAndExpandedFoldersStayOnTheirNodesThroughASort)
{
    makeTree();
    model.setScan(tree);
    QTreeView view;
    view.setModel(&model);
    view.expand(model.index(0, 0));
    view.expand(model.indexOf(b));
    QItemSelectionModel *selection = view.selectionModel();
    selection->select(model.indexOf(z), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->setCurrentIndex(model.indexOf(c, 1), QItemSelectionModel::NoUpdate);
    const QPersistentModelIndex held(model.indexOf(bigA, 2));
    ASSERT_EQ(model.indexOf(z).row(), 0);

    model.sortByField(FileName, Qt::AscendingOrder);

    EXPECT_EQ(model.indexOf(z).row(), 1);
    EXPECT_TRUE(view.isExpanded(model.indexOf(b)));
    EXPECT_FALSE(view.isExpanded(model.indexOf(a)));
    const QModelIndexList selected = selection->selectedIndexes();
    ASSERT_EQ(selected.size(), model.columnCount());
    for (const QModelIndex &index : selected)
        EXPECT_EQ(model.nodeOf(index), z);
    EXPECT_EQ(model.nodeOf(selection->currentIndex()), c);
    EXPECT_EQ(selection->currentIndex().column(), 1);
    EXPECT_EQ(model.nodeOf(held), bigA);
    EXPECT_EQ(held.row(), 0);
    EXPECT_EQ(held.column(), 2);

    // New texts for the same columns keep the view as it was; a new scan does not.
    ListColumns renamed = testColumns();
    renamed[3].header = QStringLiteral("Other");
    model.setColumns(renamed);
    EXPECT_TRUE(view.isExpanded(model.indexOf(b)));
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Other"));
    model.setScan(tree);
    EXPECT_FALSE(view.isExpanded(model.indexOf(b)));
    EXPECT_FALSE(held.isValid());
}

TEST_F(CatalogTreeModelTest, StructureFollowsTheScan)
{
    EXPECT_EQ(model.rowCount(), 0);
    model.setScan(std::make_shared<CatalogTree>());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.index(0, 0).isValid());

    makeTree();
    model.setScan(tree);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_FALSE(model.index(1, 0).isValid());
    EXPECT_FALSE(model.index(0, 4).isValid());
    const QModelIndex top = model.index(0, 0);
    EXPECT_EQ(model.nodeOf(top), 0u);
    EXPECT_FALSE(model.parent(top).isValid());
    EXPECT_FALSE(model.index(4, 0, top).isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 1)), 0); // only the first column has children

    const struct
    {
        NodeIndex *node;
        bool hasChildren;
        bool neverHasChildren;
    } cases[] = {
        {&b, true, false},
        {&a, false, false},
        {&locked, false, false},
        {&c, false, true},
    };
    for (const auto &k : cases) {
        const QModelIndex index = model.indexOf(*k.node);
        EXPECT_EQ(model.nodeOf(index), *k.node);
        EXPECT_EQ(model.hasChildren(index), k.hasChildren) << *k.node;
        EXPECT_EQ(model.flags(index).testFlag(Qt::ItemNeverHasChildren), k.neverHasChildren) << *k.node;
        EXPECT_TRUE(model.flags(index).testFlag(Qt::ItemIsSelectable));
    }
    EXPECT_FALSE(model.indexOf(NoNode).isValid());
    EXPECT_FALSE(model.indexOf(NodeIndex(tree->nodeCount())).isValid());
    EXPECT_EQ(model.nodeOf(QModelIndex()), NoNode);
    EXPECT_TRUE(model.record(QModelIndex()).isNull());
    EXPECT_EQ(model.record(model.indexOf(z)).text(FullPath), QStringLiteral("/data/b/z.txt"));
}

TEST_F(CatalogTreeModelTest, CellsShowTextHintIconAlignmentAndBackgroundOfTheirColumn)
{
    makeTree();
    model.setScan(tree);
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    const struct
    {
        NodeIndex *node;
        int column;
        const char *text;
        QString hint;
    } cases[] = {
        {&z, 0, "z.txt", "z.txt"},
        {&z, 1, "5.00 B", "5.00 B"},
        {&z, 2, "file", "file"},
        {&z, 3, "z.txt", "z.txt"},
        {&locked, 0, "locked", "locked \u2014 cannot be read: " + denied},
        {&locked, 1, "0.00 B", "0.00 B \u2014 cannot be read: " + denied},
        {&a, 0, "a", "a"},
    };
    for (const auto &k : cases) {
        const QModelIndex index = model.indexOf(*k.node, k.column);
        SCOPED_TRACE(std::string(k.text) + " in column " + std::to_string(k.column));
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), QString::fromUtf8(k.text));
        EXPECT_EQ(index.data(Qt::ToolTipRole).toString(), k.hint);
        // Icons only where the column shows names, also through an unknown name.
        const bool namesColumn = k.column == 0 || k.column == 3;
        EXPECT_EQ(index.data(Qt::DecorationRole).isValid(), namesColumn);
    }

    const auto iconOf = [&](NodeIndex node) {
        return model.indexOf(node).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    };
    EXPECT_EQ(iconOf(locked), icons.unreadableFolder().cacheKey());
    EXPECT_EQ(iconOf(a), icons.folder().cacheKey());
    EXPECT_EQ(iconOf(z), icons.forFileName(QStringLiteral("z.txt")).cacheKey());

    const auto alignment = [&](int column) {
        return Qt::Alignment(model.indexOf(z, column).data(Qt::TextAlignmentRole).toInt());
    };
    EXPECT_EQ(alignment(0), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(alignment(1), Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(alignment(2), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_EQ(model.indexOf(z, 1).data(Qt::BackgroundRole).value<QBrush>().color(), ReadOnlyColour);
    EXPECT_FALSE(model.indexOf(z, 0).data(Qt::BackgroundRole).isValid());

    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("File Size"));
    EXPECT_EQ(Qt::Alignment(model.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt()),
        Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_FALSE(model.headerData(4, Qt::Horizontal).isValid());
}

// Under the offscreen platform there is no icon theme: the style's icons stand in.
TEST_F(CatalogTreeModelTest, IconsByKindMarkAndExtension)
{
    EXPECT_FALSE(icons.folder().isNull());
    EXPECT_FALSE(icons.file().isNull());
    ASSERT_FALSE(icons.unreadableFolder().isNull());
    // The mark is painted over the folder, so it shows in the tree.
    EXPECT_NE(icons.unreadableFolder().pixmap(16).toImage(), icons.folder().pixmap(16).toImage());

    const auto key = [&](const char *name) { return icons.forFileName(QString::fromUtf8(name)).cacheKey(); };
    EXPECT_EQ(key("Makefile"), icons.file().cacheKey());
    EXPECT_EQ(key("archive.no-such-type-here"), icons.file().cacheKey());
    EXPECT_EQ(key("a.PDF"), key("b.pdf")); // one cached icon per extension, any case
    EXPECT_FALSE(icons.forFileName(QStringLiteral("b.pdf")).isNull());
}

// With a desktop theme, types get the theme's icons, by the name alone.
TEST_F(CatalogTreeModelTest, TypeIconsComeFromTheDesktopTheme)
{
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    QIcon::setThemeSearchPaths(searchPaths + QStringList {QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    const bool themed = QIcon::hasThemeIcon(QStringLiteral("folder"))
        && QIcon::hasThemeIcon(QStringLiteral("x-office-document"));
    if (themed) {
        FileIcons themedIcons;
        EXPECT_EQ(themedIcons.folder().name(), QStringLiteral("folder"));
        const QIcon pdf = themedIcons.forFileName(QStringLiteral("/no/such/folder/report.PDF"));
        EXPECT_FALSE(pdf.isNull());
        EXPECT_NE(pdf.cacheKey(), themedIcons.file().cacheKey());
        EXPECT_EQ(pdf.cacheKey(), themedIcons.forFileName(QStringLiteral("other.pdf")).cacheKey());
        EXPECT_FALSE(themedIcons.unreadableFolder().isNull());
    }
    QIcon::setThemeName(themeName);
    QIcon::setThemeSearchPaths(searchPaths);
    if (!themed)
        GTEST_SKIP() << "the Adwaita icon theme is not installed";
}

} // namespace
