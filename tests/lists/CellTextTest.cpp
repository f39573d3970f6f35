#include "CellText.h"
#include "CatalogFields.h"
#include "CatalogTree.h"
#include "LocaleAndZone.h"
#include "TCatalogNode.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

TEST(CellText, SizesScaledByPowersOfTwo)
{
    LocaleAndZone pin(QLocale(QLocale::English, QLocale::UnitedStates), "UTC");
    const struct
    {
        double bytes;
        const char *text;
    } cases[] = {
        {0, "0.00 B"},
        {1023, "1,023.00 B"},
        {1024, "1.00 KB"},
        {1048575, "1,024.00 KB"},
        {1048576, "1.00 MB"},
        {1073741823, "1,024.00 MB"},
        {1073741824, "1.00 GB"},
        {1099511627776.0, "1,024.00 GB"},
        {18446744073709551615.0, "17,179,869,184.00 GB"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SizeCellText(c.bytes).toStdString(), c.text) << c.bytes;
}

TEST(CellText, SizesInOtherLocales)
{
    const struct
    {
        QLocale locale;
        double bytes;
        const char *text;
    } cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), 1048575, "1.024,00 KB"},
        {QLocale(QLocale::German, QLocale::Germany), 1023, "1.023,00 B"},
        {QLocale::c(), 1023, "1023.00 B"},
        // The separators are the locale's; the digits stay ASCII like the rest of the row.
        {QLocale(QLocale::Arabic, QLocale::Egypt), 1023, "1\u066C023\u066B00 B"},
    };
    for (const auto &c : cases) {
        LocaleAndZone pin(c.locale, "UTC");
        EXPECT_EQ(SizeCellText(c.bytes).toStdString(), c.text) << c.locale.name().toStdString();
    }
}

class CellTextOfRecords : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto tree = std::make_shared<CatalogTree>();
        tree->addTop("/r");
        for (const char *name : {"sized.bin", "unsized"}) {
            CatalogNodeData &n = tree->node(tree->appendChild(0, name, std::strlen(name)));
            n.setKind(NodeKind::File);
            n.set(CatalogNodeData::HasDetails);
        }
        tree->node(1).size = 1234;
        tree->node(1).set(CatalogNodeData::HasSize);
        tree->setPercentageTotal(10000.0);
        m_tree = std::move(tree);
    }

    std::shared_ptr<const CatalogTree> m_tree;
};

TEST_F(CellTextOfRecords, EveryFieldOfBothForms)
{
    LocaleAndZone pin(QLocale(QLocale::English, QLocale::UnitedStates), "UTC");
    TCatalogNode listRow(m_tree, 1);
    listRow.setListTotal(2468.0);
    const struct
    {
        int field;
        NodeIndex node;
        const char *text;
        const char *listText;
    } cases[] = {
        {FileBytes, 1, "1.21 KB", "1.21 KB"},
        {FileBytes, 2, "", ""},
        {SizePercentage, 1, "12.34%", "50.00%"},
        {SizePercentage, 2, "", ""},
        {FileName, 1, "sized.bin", "sized.bin"},
        {FileExt, 1, "bin", "bin"},
        {FullPath, 1, "/r/sized.bin", "/r/sized.bin"},
        {FileType, 1, "file", "file"},
        {FileNameLength, 1, "9", "9"},
        {Description, 1, "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CellText(c.field, *m_tree, c.node).toStdString(), c.text) << c.field;
        EXPECT_EQ(CellText(c.field, TCatalogNode(m_tree, c.node)).toStdString(), c.text) << c.field;
        if (c.node == 1) {
            EXPECT_EQ(CellText(c.field, listRow).toStdString(), c.listText) << c.field;
            EXPECT_EQ(CellText(c.field, *m_tree, 1, 2468.0).toStdString(), c.listText) << c.field;
        }
    }
}

TEST_F(CellTextOfRecords, PercentageInAGermanLocale)
{
    LocaleAndZone pin(QLocale(QLocale::German, QLocale::Germany), "UTC");
    EXPECT_EQ(CellText(SizePercentage, TCatalogNode(m_tree, 1)).toStdString(), "12,34%");
    EXPECT_EQ(CellText(FileBytes, TCatalogNode(m_tree, 1)).toStdString(), "1,21 KB");
}

TEST_F(CellTextOfRecords, NoRecordOrNoFieldIsEmpty)
{
    for (const int field : {int(FileBytes), int(SizePercentage), int(FileName), -1, CatalogFieldCount})
        EXPECT_TRUE(CellText(field, TCatalogNode()).isEmpty()) << field;
    EXPECT_TRUE(CellText(-1, TCatalogNode(m_tree, 1)).isEmpty());
    EXPECT_TRUE(CellText(CatalogFieldCount, *m_tree, 1).isEmpty());
}

} // namespace
