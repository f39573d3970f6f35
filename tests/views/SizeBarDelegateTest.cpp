#include "SizeBarDelegate.h"
#include "CatalogFields.h"
#include "FileIcons.h"
#include "LocaleAndZone.h"
#include "NodeListModel.h"
#include "NodeLists.h"
#include "TreeBuilder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>
#include <QTreeView>

#include <memory>
#include <optional>
#include <vector>

namespace {

ListColumns columns(std::initializer_list<const char *> names)
{
    ListColumns list;
    for (const char *name : names) {
        const QString header = QString::fromLatin1(name);
        list.append(ListColumn {header, FieldIndexOf(header), Qt::AlignRight, QColor(Qt::white)});
    }
    return list;
}

class SizeBarDelegateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // /data: files of 1, 3 and 0 bytes, an entry never examined.
        TreeBuilder t("/data");
        for (const auto &[name, size] : {std::pair {"one", 1}, {"three", 3}, {"empty", 0}})
            t.add(0, name, NodeKind::File, std::uint64_t(size));
        t.add(0, "gone", NodeKind::Unknown);
        const auto tree = t.finish();
        NodeRows rows {tree, {}, std::nullopt};
        for (NodeIndex n = 1; n < tree->nodeCount(); ++n)
            rows.nodes.push_back(n);
        UpdatePercentages(rows);
        model.setColumns(columns({"File Name", "Size Percentage", "File Size"}));
        model.setRows(std::move(rows));
    }

    FileIcons icons;
    NodeListModel model {icons};
};

// The share of a row is its part of the list's total, read from the text the cell
// shows, whatever the locale's decimal point; no share where the cell is empty or
// shows no percentage.
TEST_F(SizeBarDelegateTest, ShareOfEachRowOfAList)
{
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        const LocaleAndZone pin(locale, "UTC");
        const std::optional<double> expected[] = {0.25, 0.75, 0.0, std::nullopt};
        for (int row = 0; row < 4; ++row) {
            const std::optional<double> share = SizeBarDelegate::shareOf(model.index(row, 1));
            ASSERT_EQ(share.has_value(), expected[row].has_value())
                << row << " " << model.index(row, 1).data().toString().toStdString();
            if (share) {
                EXPECT_NEAR(*share, *expected[row], 1e-9) << row;
            }
        }
        EXPECT_FALSE(SizeBarDelegate::shareOf(model.index(0, 0))); // "one"
    }
}

// The delegate sits on the percentage columns only, follows them when the columns
// change, and paints something of its own behind the text while shown.
TEST_F(SizeBarDelegateTest, InstalledOnThePercentageColumnsAndPaintsBars)
{
    QTreeView view;
    view.setModel(&model);
    SizeBarDelegate *bars = SizeBarDelegate::install(view, model.columns());
    EXPECT_EQ(view.itemDelegateForColumn(1), bars);
    EXPECT_EQ(view.itemDelegateForColumn(0), nullptr);
    EXPECT_EQ(view.itemDelegateForColumn(2), nullptr);

    view.resize(400, 200);
    view.setColumnWidth(1, 150);
    const auto picture = [&view] {
        QImage image(view.size(), QImage::Format_ARGB32);
        view.render(&image);
        return image;
    };
    const QImage with = picture();
    bars->setShown(false);
    EXPECT_NE(picture(), with);
    bars->setShown(true);
    EXPECT_EQ(picture(), with);

    const ListColumns moved = columns({"File Name", "File Size", "Size Percentage"});
    model.setColumns(moved);
    EXPECT_EQ(SizeBarDelegate::install(view, moved), bars);
    EXPECT_EQ(view.itemDelegateForColumn(1), nullptr);
    EXPECT_EQ(view.itemDelegateForColumn(2), bars);
}

} // namespace
