#include "CatalogText.h"
#include "CatalogFields.h"
#include "CatalogTree.h"
#include "ExtensionOf.h"
#include "Fixture.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <ctime>
#include <ostream>

// Failure messages show texts, not their UTF-16 units.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

class CatalogTextTest : public ::testing::Test
{
protected:
    void SetUp() override { UseUtcAndCLocale(); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(CatalogTextTest, SizesArePlainExactDigits)
{
    const struct
    {
        std::uint64_t bytes;
        const char *text;
    } cases[] = {
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

TEST_F(CatalogTextTest, LengthsCountUtf16UnitsWithAnOpeningMark)
{
    // A name's opening U+FEFF is one of its characters whether or not a byte after it
    // is not UTF-8 (such bytes count as the replacement characters shown for them).
    const struct
    {
        const char *bytes;
        std::uint64_t units;
        bool composable;
    } cases[] = {
        {"abc", 3, true},
        {"caf\xC3\xA9", 4, true},
        {"\xF0\x9F\x98\x80", 2, true},
        {"\xEF\xBB\xBF"
         "a",
            2, true},
        {"a\xFF\xFE", 3, false},
        {"\xEF\xBB\xBF"
         "a\xFF",
            3, false},
        {"\xEF\xBB\xBF\xC1", 2, false},
        // A sequence cut short at the end is shown as replacement characters (one a
        // byte, as QString::fromUtf8 shows it), never dropped.
        {"\xEF\xBB\xBF"
         "a\xD6",
            3, false},
        {"\xEF\xBB\xBF\xE2\x82", 3, false},
    };
    for (const auto &c : cases) {
        const CatalogText::Utf16Length length = CatalogText::utf16Length(c.bytes);
        EXPECT_EQ(length.units, c.units) << c.bytes;
        EXPECT_EQ(length.composable, c.composable) << c.bytes;
        EXPECT_EQ(std::uint64_t(CatalogText::nameText(c.bytes).size()), c.units) << c.bytes;
    }
}

TEST_F(CatalogTextTest, PercentagesHaveTwoDecimalsOrAreZero)
{
    const struct
    {
        double part, total;
        const char *text;
    } cases[] = {
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
}

TEST_F(CatalogTextTest, PercentagesKeepAsciiDigitsWithTheLocaleSeparator)
{
    const struct
    {
        const char *locale;
        const char *full, *eighth, *zero;
    } cases[] = {
        {"C", "100.00", "12.50", "0"},
        {"de_DE", "100,00", "12,50", "0"},
        {"fr_FR", "100,00", "12,50", "0"},
        {"ar_EG", "100\u066b00", "12\u066b50", "0"},
        {"fa_IR", "100\u066b00", "12\u066b50", "0"},
        {"hi_IN", "100.00", "12.50", "0"},
        {"mr_IN", "100.00", "12.50", "0"},
    };
    for (const auto &c : cases) {
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
        EXPECT_EQ(CatalogText::percentageText(8, 8), QString::fromUtf8(c.full)) << c.locale;
        EXPECT_EQ(CatalogText::percentageText(1, 8), QString::fromUtf8(c.eighth)) << c.locale;
        EXPECT_EQ(CatalogText::percentageText(3, 0), QString::fromUtf8(c.zero)) << c.locale;
    }
}

TEST_F(CatalogTextTest, TimesAreLocaleTextsWithoutZoneAndDateAloneAtMidnight)
{
    const std::int64_t midnight =
        QDateTime(QDate(2024, 3, 5), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
    const std::int64_t afternoon = midnight + 13 * 3600 + 62;
    const struct
    {
        const char *locale;
        std::int64_t secs;
        const char *text;
    } cases[] = {
        {"C", midnight, "5 Mar 2024"},
        {"C", midnight + 1, "5 Mar 2024 00:00:01"},
        {"C", afternoon, "5 Mar 2024 13:01:02"},
        {"en_US", midnight, "3/5/2024"},
        {"en_US", midnight + 1, "3/5/2024 12:00:01 AM"},
        {"de_DE", midnight + 1, "05.03.2024 00:00:01"},
        // Day period and bracketed zone of the locale's pattern.
        {"zh_TW", afternoon, "2024/3/5 下午1:01:02"},
        // Zone behind a comma.
        {"be_BY", afternoon, "5.03.2024 13:01:02"},
        // AM/PM texts of unequal length go unread by Qt's parser: a 24-hour clock.
        {"sq_AL", afternoon, "5.3.2024 13:01:02"},
        // Zone in front.
        {"my_MM", afternoon, "05-03-2024 13:01:02"},
        {"nds_DE", afternoon, "5.03.2024 Klock 13.01:02"},
        // Locale digits become ASCII; marks and AM/PM texts stay.
        {"ar_EG", afternoon, "5\u200f/3\u200f/2024 1:01:02 م"},
        {"ff_Adlm_GN", afternoon, "5-3-2024 13:01:02"},
        // Qt cannot read this locale's AM/PM texts back: 24-hour clock instead.
        {"as_IN", afternoon, "5-3-2024 13.01.02"},
    };
    for (const auto &c : cases) {
        const CatalogText::TimeFormat format {QLocale(QString::fromLatin1(c.locale))};
        EXPECT_EQ(format.format(c.secs), QString::fromUtf8(c.text)) << c.locale;
    }
}

// Unquoted letters of a QLocale pattern that Qt does not format as a field;
// 't' (the zone) counts as foreign here, since a catalog time has none.
QString foreignPatternLetters(const QString &pattern)
{
    QString foreign;
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && c.isLetter() && c.unicode() < 0x80 && !QStringView(u"dMyhHmsAPap").contains(c))
            foreign += c;
    }
    return foreign;
}

TEST_F(CatalogTextTest, TimesReadBackCleanlyInEveryLocale)
{
    const QDateTime moments[] = {
        QDateTime(QDate(2024, 11, 5), QTime(15, 4, 5), Qt::LocalTime),
        QDateTime(QDate(2024, 11, 5), QTime(9, 4, 5), Qt::LocalTime),
        QDateTime(QDate(2031, 7, 1), QTime(12, 0, 1), Qt::LocalTime),
        QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0), Qt::LocalTime),
        QDateTime(QDate(2024, 2, 29), QTime(0, 0, 1), Qt::LocalTime),
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::LocalTime),
        QDateTime(QDate(2187, 8, 17), QTime(18, 30, 0), Qt::LocalTime),
        QDateTime(QDate(1912, 4, 14), QTime(23, 40, 0), Qt::LocalTime),
    };
    const QDateTime midnight = moments[3], afterMidnight = moments[4];
    const auto badText = [](const QString &text) {
        for (char32_t c : text.toUcs4()) {
            if (c >= 0x80 && QChar::category(c) == QChar::Number_DecimalDigit)
                return true; // locale digits
            if (c < 0x80 && QStringView(u"()[]").contains(QChar(c)))
                return true; // brackets of a removed zone
        }
        return text.back().isSpace() || QStringView(u",;:-/").contains(text.back());
    };

    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(locales.size(), 100);
    QStringList failures;
    for (const QLocale &locale : locales) {
        const CatalogText::TimeFormat format {locale};
        const QString where = locale.name() + QStringLiteral(" [") + format.dateFormat()
            + QStringLiteral(" | ") + format.timeFormat() + QStringLiteral("]: ");
        const QString foreign = foreignPatternLetters(format.dateFormat() + format.timeFormat());
        if (!foreign.isEmpty())
            failures << where + QStringLiteral("pattern letters ") + foreign;
        if (!format.dateFormat().contains(QStringLiteral("yyyy")))
            failures << where + QStringLiteral("no four-digit year");
        for (const QDateTime &moment : moments) {
            const QString text = format.format(moment);
            const auto back = format.parse(text);
            if (!back || *back != moment)
                failures << where + text + QStringLiteral(" reads back as ")
                        + (back ? back->toString(Qt::ISODate) : QStringLiteral("nothing"));
            else if (text.isEmpty() || badText(text))
                failures << where + QStringLiteral("unclean text ") + text;
        }
        if (!format.format(afterMidnight).startsWith(format.format(midnight) + u' '))
            failures << where + QStringLiteral("midnight ") + format.format(midnight)
                    + QStringLiteral(" is not the date of ") + format.format(afterMidnight);
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " failures in " << locales.size() << " locales:\n"
                                    << failures.join(u'\n').toStdString();
    EXPECT_FALSE(CatalogText::TimeFormat(QLocale::c()).parse(QStringLiteral("soon")));
}

// Sets the process time zone for one scope and puts the previous one back.
class TimeZoneScope
{
public:
    explicit TimeZoneScope(const char *zone)
        : m_had(qEnvironmentVariableIsSet("TZ")), m_previous(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TimeZoneScope()
    {
        if (m_had)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        ::tzset();
    }
    TimeZoneScope(const TimeZoneScope &) = delete;
    TimeZoneScope &operator=(const TimeZoneScope &) = delete;

private:
    bool m_had;
    QByteArray m_previous;
};

TEST_F(CatalogTextTest, TimesTakeTheOffsetOfTheirOwnSeason)
{
    const TimeZoneScope berlin("Europe/Berlin");
    // One stamp of each season, so that one of them is in the season other than now.
    const struct
    {
        QDateTime utc;
        const char *text;
    } cases[] = {
        {QDateTime(QDate(2024, 1, 15), QTime(10, 0, 0), QTimeZone::utc()), "15 Jan 2024 11:00:00"},
        {QDateTime(QDate(2024, 7, 15), QTime(10, 0, 0), QTimeZone::utc()), "15 Jul 2024 12:00:00"},
        {QDateTime(QDate(2024, 7, 14), QTime(22, 0, 0), QTimeZone::utc()), "15 Jul 2024"},
    };
    const CatalogText::TimeFormat format {QLocale::c()};
    for (const auto &c : cases) {
        const QString text = format.format(c.utc.toSecsSinceEpoch());
        EXPECT_EQ(text, QString::fromLatin1(c.text));
        const auto back = format.parse(text);
        ASSERT_TRUE(back.has_value()) << c.text;
        EXPECT_EQ(back->toSecsSinceEpoch(), c.utc.toSecsSinceEpoch()) << c.text;
    }
}

TEST_F(CatalogTextTest, UnrecordedCreationTimeStaysEmpty)
{
    CatalogTree tree;
    const NodeIndex top = tree.addTop("/data");
    const NodeIndex file = tree.appendChild(top, "a.txt", 5);
    CatalogNodeData &n = tree.node(file);
    n.setKind(NodeKind::File);
    n.writeTime = 1700000000;
    n.accessTime = 1700000000;
    n.createTime = 1700000000; // a value without its flag must not show
    n.set(CatalogNodeData::HasWriteTime);
    n.set(CatalogNodeData::HasAccessTime);

    EXPECT_EQ(tree.fieldText(file, CreateTime), QString());
    EXPECT_EQ(tree.fieldText(file, WriteTime), QStringLiteral("14 Nov 2023 22:13:20"));
    EXPECT_EQ(tree.fieldText(file, AccessTime), tree.fieldText(file, WriteTime));
}

TEST(CatalogFieldsTest, FieldIndexOfMatchesKeysExactly)
{
    const struct
    {
        const char *key;
        int index;
    } cases[] = {
        {"File Name", 0},
        {"Full Path", 1},
        {"File Size", 2},
        {"Size Percentage", 8},
        {"DOS Name", 13},
        {"File Count", 14},
        {"SizeRange", 18},
        {"file name", 0},
        {"SizeRange ", 0},
        {"", 0},
        {"Nothing", 0},
        {"WriteAgeRange", 17},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FieldIndexOf(QString::fromLatin1(c.key)), c.index) << c.key;
    for (int i = 0; i < CatalogFieldCount; ++i)
        EXPECT_EQ(FieldIndexOf(CatalogFieldNames[i]), i);
}

TEST(ExtensionOfTest, TakesWhatFollowsTheLastDotOfTheLastElement)
{
    const struct
    {
        const char *path;
        const char *ext;
    } cases[] = {
        {"/a/report.final.PDF", "PDF"},
        {"/a.b/README", ""},
        {"/a/.profile", "profile"},
        {"/a/archive.tar.gz", "gz"},
        {"/a/trailing.", ""},
        {"name", ""},
        {"/", ""},
        {"", ""},
        {"x.\xff\xfe", "\xff\xfe"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ExtensionOf(QByteArrayView(c.path)), QByteArrayView(c.ext)) << c.path;
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(
            ExtensionOf(QStringView(path)).toString(), QString::fromUtf8(ExtensionOf(QByteArrayView(c.path))))
            << c.path;
    }
}

} // namespace
