#include "NodeListModel.h"
#include "CatalogFields.h"
#include "FileIcons.h"
#include "Fixture.h"
#include "FolderScanner.h"
#include "LocaleAndZone.h"
#include "ModelTesterWarnings.h"
#include "RollUp.h"
#include "RowsOf.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPersistentModelIndex>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

ListColumn column(const char *name, Qt::Alignment alignment = Qt::AlignLeft, QColor background = {})
{
    const QString header = QString::fromLatin1(name);
    return ListColumn {header, FieldIndexOf(header), alignment, background};
}

class NodeListModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pin = std::make_unique<LocaleAndZone>(QLocale::c(), "UTC");
        m_warnings = std::make_unique<ModelTesterWarnings>();
        model.setColumns({column("File Name"), column("File Size", Qt::AlignRight, QColor(239, 243, 255)),
            column("Size Percentage", Qt::AlignRight), column("Unknown")});

        // /data: files of 9, 10 and 10 bytes, a folder holding 1 byte, an unreadable folder.
        TreeBuilder t("/data");
        nine = t.add(0, "nine.txt", NodeKind::File, 9);
        ten = t.add(0, "Ten.bin", NodeKind::File, 10);
        sub = t.add(0, "sub", NodeKind::Folder);
        locked = t.add(0, "locked", NodeKind::Folder);
        alsoTen = t.add(0, "also-ten", NodeKind::File, 10);
        one = t.add(sub, "one", NodeKind::File, 1);
        t.tree->markUnreadable(locked, EACCES);
        tree = t.finish();
    }

    void TearDown() override
    {
        EXPECT_TRUE(m_warnings->warnings().isEmpty()) << m_warnings->warnings().join(u'\n').toStdString();
        m_warnings.reset();
        m_pin.reset();
    }

    // The top's children in scan order, each row its share of their sum.
    std::vector<TCatalogNode> topRows() const
    {
        std::vector<TCatalogNode> rows;
        for (const NodeIndex n : {nine, ten, sub, locked, alsoTen}) {
            rows.emplace_back(tree, n);
            rows.back().setListTotal(30.0);
        }
        return rows;
    }

    QStringList names() const
    {
        QStringList list;
        for (int row = 0; row < model.rowCount(); ++row)
            list.append(model.index(row, 0).data().toString());
        return list;
    }

    FileIcons icons;
    NodeListModel model {icons};
    std::shared_ptr<CatalogTree> tree;
    NodeIndex nine = NoNode, ten = NoNode, sub = NoNode, locked = NoNode, alsoTen = NoNode, one = NoNode;

private:
    std::unique_ptr<LocaleAndZone> m_pin;
    std::unique_ptr<ModelTesterWarnings> m_warnings;
};

TEST_F(NodeListModelTest, KeepsItsInvariantsThroughRowsSortsAndColumnChanges)
{
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.setRows(RowsOf(topRows()));
    EXPECT_EQ(model.rowCount(), 5);
    model.sortByField(FileBytes, Qt::DescendingOrder);
    model.sortByField(FileName, Qt::AscendingOrder);

    Fixture fx;
    fx.makeFolder("docs");
    fx.makeFile("docs/report.pdf", 3000);
    fx.makeFile("small.c", 1);
    const ScanResult scan = ScanFolder(fx.path());
    ASSERT_TRUE(scan.complete());
    std::vector<TCatalogNode> rows;
    for (std::uint32_t row = 0; row < scan.tree->childCount(0); ++row)
        rows.emplace_back(scan.tree, scan.tree->child(0, row));
    model.setRows(RowsOf(std::exchange(rows, {})));
    model.sortByField(FileBytes, Qt::AscendingOrder);
    EXPECT_EQ(names(), (QStringList {"docs", "small.c"}));

    model.setColumns({column("File Name")});
    EXPECT_EQ(model.columnCount(), 1);
    model.setRows(RowsOf({}));
    EXPECT_EQ(model.rowCount(), 0);
    model.sortByField(FileName, Qt::AscendingOrder);
}

TEST_F(NodeListModelTest, SortsFoldersFirstThenByTheFieldInBothDirections)
{
    const struct
    {
        int field;
        Qt::SortOrder order;
        QStringList names;
    } cases[] = {
        {FileName, Qt::AscendingOrder, {"locked", "sub", "also-ten", "nine.txt", "Ten.bin"}},
        {FileName, Qt::DescendingOrder, {"sub", "locked", "Ten.bin", "nine.txt", "also-ten"}},
        // Numbers, not texts: 9 before 10 (sub holds 1 byte, locked none). Equal
        // sizes compare as smaller, so descending puts the later one first.
        {FileBytes, Qt::AscendingOrder, {"locked", "sub", "nine.txt", "Ten.bin", "also-ten"}},
        {FileBytes, Qt::DescendingOrder, {"sub", "locked", "also-ten", "Ten.bin", "nine.txt"}},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(
            std::to_string(k.field) + (k.order == Qt::AscendingOrder ? " ascending" : " descending"));
        model.setRows(RowsOf(topRows()));
        model.sortByField(k.field, k.order);
        EXPECT_EQ(names(), k.names);
    }
}

TEST_F(NodeListModelTest, SelectionStaysOnItsRecordsThroughASort)
{
    model.setRows(RowsOf(topRows()));
    QItemSelectionModel selection(&model);
    selection.select(model.index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection.setCurrentIndex(model.index(3, 2), QItemSelectionModel::NoUpdate);
    const QPersistentModelIndex held(model.index(4, 1));

    model.sortByField(FileName, Qt::AscendingOrder);

    // nine.txt moved from row 0 to 3, locked from 3 to 0, also-ten from 4 to 2.
    const QModelIndexList selected = selection.selectedIndexes();
    ASSERT_EQ(selected.size(), model.columnCount());
    for (const QModelIndex &index : selected) {
        EXPECT_EQ(index.row(), 3);
        EXPECT_EQ(model.record(index.row()).index(), nine);
    }
    EXPECT_EQ(selection.currentIndex(), model.index(0, 2));
    EXPECT_EQ(model.record(0).index(), locked);
    EXPECT_EQ(held, model.index(2, 1));
    EXPECT_EQ(model.record(held.row()).index(), alsoTen);

    model.setRows(RowsOf(topRows()));
    EXPECT_FALSE(held.isValid());
}

TEST_F(NodeListModelTest, CellsShowTheRowsRecord)
{
    std::vector<TCatalogNode> rows = topRows();
    rows.emplace_back(tree, one);
    model.setRows(RowsOf(std::exchange(rows, {})));
    std::weak_ptr<CatalogTree> scan = tree;
    tree.reset(); // the rows keep their scan

    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    const struct
    {
        int row;
        int column;
        const char *text;
        QString hint;
    } cases[] = {
        {0, 0, "nine.txt", "nine.txt"},
        {0, 1, "9.00 B", "9.00 B"},
        {0, 2, "30.00%", "30.00%"},
        {0, 3, "nine.txt", "nine.txt"},
        {3, 0, "locked", "locked \u2014 cannot be read: " + denied},
        {3, 2, "0.00%", "0.00% \u2014 cannot be read: " + denied},
        {5, 2, "3.33%", "3.33%"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE("row " + std::to_string(k.row) + ", column " + std::to_string(k.column));
        const QModelIndex index = model.index(k.row, k.column);
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), QString::fromUtf8(k.text));
        EXPECT_EQ(index.data(Qt::ToolTipRole).toString(), k.hint);
        const bool namesColumn = (k.column == 0 || k.column == 3) && k.row != 6;
        EXPECT_EQ(index.data(Qt::DecorationRole).isValid(), namesColumn);
    }
    EXPECT_FALSE(scan.expired());

    EXPECT_EQ(model.index(3, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
        icons.unreadableFolder().cacheKey());
    EXPECT_EQ(
        model.index(2, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(), icons.folder().cacheKey());
    EXPECT_EQ(Qt::Alignment(model.index(0, 1).data(Qt::TextAlignmentRole).toInt()),
        Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(Qt::Alignment(model.index(0, 0).data(Qt::TextAlignmentRole).toInt()),
        Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(model.index(0, 1).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(239, 243, 255));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Size Percentage"));
    EXPECT_FALSE(model.index(0, 4).isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);

    model.setRows(RowsOf({}));
    EXPECT_TRUE(scan.expired());
}

} // namespace
