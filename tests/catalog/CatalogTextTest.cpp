#include "CatalogFields.h"
#include "CatalogText.h"
#include "ExtensionOf.h"
#include "Fixture.h"

#include <gtest/gtest.h>

#include <QTimeZone>


namespace {

class CatalogTextTest : public ::testing::Test
{
protected:
    void SetUp() override { UseUtcAndCLocale(); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(CatalogTextTest, SizesArePlainExactDigits)
{
    const struct { std::uint64_t bytes; const char *text; } cases[] = {
        {0, "0"},
        {1023, "1023"},
        {1024, "1024"},
        {4294967297ull, "4294967297"},
        {999999999999999ull, "999999999999999"},
        {1000000000000000ull, "1000000000000000"},
        {18446744073709551615ull, "18446744073709551615"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CatalogText::sizeText(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

TEST_F(CatalogTextTest, PercentagesHaveTwoDecimalsOrAreZero)
{
    const struct { double part, total; const char *text; } cases[] = {
        {0, 0, "0"},
        {5, 0, "0"},
        {1, 8, "12.50"},
        {8, 8, "100.00"},
        {0, 8, "0.00"},
        {1, 3, "33.33"},
        {2, 3, "66.67"},
        {1, 2500, "0.04"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CatalogText::percentageText(c.part, c.total), QString::fromLatin1(c.text))
            << c.part << "/" << c.total;

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(CatalogText::percentageText(1, 8), QStringLiteral("12,50"));
    EXPECT_EQ(CatalogText::percentageText(0, 0), QStringLiteral("0"));
}

TEST_F(CatalogTextTest, TimesDropTheTimeAtMidnight)
{
    const std::int64_t midnight = QDateTime(QDate(2024, 3, 5), QTime(0, 0), QTimeZone::utc())
                                      .toSecsSinceEpoch();
    const struct { const char *locale; std::int64_t secs; const char *text; } cases[] = {
        {"C", midnight, "5 Mar 2024"},
        {"C", midnight + 1, "5 Mar 2024 00:00:01"},
        {"C", midnight + 13 * 3600 + 62, "5 Mar 2024 13:01:02"},
        {"en_US", midnight, "3/5/2024"},
        {"en_US", midnight + 1, "3/5/2024 12:00:01 AM"},
        {"de_DE", midnight + 1, "05.03.2024 00:00:01"},
    };
    for (const auto &c : cases) {
        const CatalogText::TimeFormat format{QLocale(QString::fromLatin1(c.locale))};
        EXPECT_EQ(format.format(c.secs), QString::fromUtf8(c.text)) << c.locale;
    }
}

TEST_F(CatalogTextTest, TimesReadBackInEveryLocale)
{
    const QDateTime moments[] = {
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::LocalTime),
        QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0), Qt::LocalTime),
        QDateTime(QDate(2031, 7, 1), QTime(12, 0, 1), Qt::LocalTime),
    };
    for (const char *name : {"C", "en_US", "de_DE", "fr_FR", "ja_JP", "zh_CN", "ko_KR",
                             "ru_RU", "fa_IR", "hi_IN", "bg_BG"}) {
        const CatalogText::TimeFormat format{QLocale(QString::fromLatin1(name))};
        EXPECT_FALSE(format.timeFormat().contains(u't')) << name;
        for (const QDateTime &moment : moments) {
            const QString text = format.format(moment);
            const auto back = format.parse(text);
            ASSERT_TRUE(back.has_value()) << name << ": " << text.toStdString();
            EXPECT_EQ(*back, moment) << name << ": " << text.toStdString();
        }
    }
    EXPECT_FALSE(CatalogText::TimeFormat(QLocale::c()).parse(QStringLiteral("soon")));
}

TEST(CatalogFieldsTest, FieldIndexOfMatchesKeysExactly)
{
    const struct { const char *key; int index; } cases[] = {
        {"File Name", 0},     {"Full Path", 1},   {"File Size", 2},      {"Size Percentage", 8},
        {"DOS Name", 13},     {"File Count", 14}, {"SizeRange", 18},     {"file name", 0},
        {"SizeRange ", 0},    {"", 0},            {"Nothing", 0},        {"WriteAgeRange", 17},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FieldIndexOf(QString::fromLatin1(c.key)), c.index) << c.key;
    for (int i = 0; i < CatalogFieldCount; ++i)
        EXPECT_EQ(FieldIndexOf(CatalogFieldNames[i]), i);
}

TEST(ExtensionOfTest, TakesWhatFollowsTheLastDotOfTheLastElement)
{
    const struct { const char *path; const char *ext; } cases[] = {
        {"/a/report.final.PDF", "PDF"}, {"/a.b/README", ""}, {"/a/.profile", "profile"},
        {"/a/archive.tar.gz", "gz"},    {"/a/trailing.", ""}, {"name", ""},
        {"/", ""},                      {"", ""},             {"x.\xff\xfe", "\xff\xfe"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ExtensionOf(QByteArrayView(c.path)), QByteArrayView(c.ext)) << c.path;
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(ExtensionOf(QStringView(path)).toString(),
                  QString::fromUtf8(ExtensionOf(QByteArrayView(c.path))))
            << c.path;
    }
}

} // namespace
