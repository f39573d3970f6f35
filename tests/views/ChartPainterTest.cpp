// The charts: pie and bar series from points, marks with shares, clicks, the marks
// of small slices, and the points of the range charts.

#include "ChartPainter.h"

#include <gtest/gtest.h>

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QPieSeries>
#include <QPieSlice>
#include <QSignalSpy>
#include <QStackedBarSeries>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>

#include <memory>

namespace {

QList<ChartPoint> points(std::initializer_list<std::pair<const char *, double>> items)
{
    QList<ChartPoint> result;
    for (const auto &[label, value] : items)
        result.append(ChartPoint {QString::fromUtf8(label), value});
    return result;
}

QPieSeries *pieOf(QChart &chart)
{
    EXPECT_EQ(chart.series().size(), 1);
    return chart.series().isEmpty() ? nullptr : qobject_cast<QPieSeries *>(chart.series().first());
}

QStackedBarSeries *barsOf(QChart &chart)
{
    EXPECT_EQ(chart.series().size(), 1);
    return chart.series().isEmpty() ? nullptr : qobject_cast<QStackedBarSeries *>(chart.series().first());
}

QBarCategoryAxis *categoriesOf(QChart &chart)
{
    const QList<QAbstractAxis *> axes = chart.axes(Qt::Horizontal);
    return axes.isEmpty() ? nullptr : qobject_cast<QBarCategoryAxis *>(axes.first());
}

// The value bar `point` shows and the colour it has, from whichever set carries it.
struct Bar
{
    double value = 0;
    QColor color;
};
Bar barAt(QStackedBarSeries &series, int point)
{
    Bar bar;
    for (QBarSet *set : series.barSets()) {
        if (set->at(point) != 0) {
            EXPECT_EQ(bar.value, 0) << "point " << point << " in two sets";
            bar = Bar {set->at(point), set->color()};
        }
    }
    return bar;
}

QString visibleText(const QString &mark)
{
    QString text = mark;
    return text.remove(QChar(0x200b));
}

class ChartPainterTest : public ::testing::Test
{
protected:
    QChart chart;
    ChartPainter painter {&chart};
};

TEST_F(ChartPainterTest, PieHasOneSliceAPointWithMarksAndOwnColours)
{
    painter.draw(QStringLiteral("File Type Chart"), points({{"txt", 3}, {"", 1}, {"cpp", 4}}), false);

    EXPECT_EQ(chart.title(), QStringLiteral("File Type Chart"));
    QPieSeries *pie = pieOf(chart);
    ASSERT_NE(pie, nullptr);
    ASSERT_EQ(pie->count(), 3);
    const QStringList marks {
        QStringLiteral("txt  37.5%"), QStringLiteral("(none)  12.5%"), QStringLiteral("cpp  50.0%")};
    const QList<double> values {3, 1, 4};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(painter.markText(i), marks.at(i));
        EXPECT_EQ(pie->slices().at(i)->label(), ChartPainter::shownText(marks.at(i)));
        EXPECT_DOUBLE_EQ(pie->slices().at(i)->value(), values.at(i));
        EXPECT_EQ(pie->slices().at(i)->color(), ChartPainter::pointColor(i));
        EXPECT_TRUE(pie->slices().at(i)->isLabelVisible());
    }
    EXPECT_NE(pie->slices().at(0)->color(), pie->slices().at(1)->color());
    // The empty label is only shown as "(none)": the point keeps its own.
    EXPECT_EQ(painter.points().at(1).label, QString());
}

TEST_F(ChartPainterTest, BarsHaveOneBarAPointOnCategoriesWithMarks)
{
    painter.draw(QStringLiteral("File Size Chart"), points({{"1K", 2}, {"", 0}, {"above 1K", 6}}), true);

    EXPECT_EQ(chart.title(), QStringLiteral("File Size Chart"));
    QStackedBarSeries *bars = barsOf(chart);
    ASSERT_NE(bars, nullptr);
    QBarCategoryAxis *categories = categoriesOf(chart);
    ASSERT_NE(categories, nullptr);
    const QStringList marks {
        QStringLiteral("1K  25.0%"), QStringLiteral("(none)  0%"), QStringLiteral("above 1K  75.0%")};
    ASSERT_EQ(categories->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(painter.markText(i), marks.at(i));
        EXPECT_EQ(categories->at(i), ChartPainter::shownText(marks.at(i)));
    }
    EXPECT_EQ(categories->labelsAngle(), 0);
    EXPECT_DOUBLE_EQ(barAt(*bars, 0).value, 2);
    EXPECT_DOUBLE_EQ(barAt(*bars, 1).value, 0);
    EXPECT_DOUBLE_EQ(barAt(*bars, 2).value, 6);
    EXPECT_EQ(barAt(*bars, 0).color, ChartPainter::pointColor(0));
    EXPECT_EQ(barAt(*bars, 2).color, ChartPainter::pointColor(2));

    const QList<QAbstractAxis *> vertical = chart.axes(Qt::Vertical);
    ASSERT_EQ(vertical.size(), 1);
    auto *values = qobject_cast<QValueAxis *>(vertical.first());
    ASSERT_NE(values, nullptr);
    EXPECT_DOUBLE_EQ(values->min(), 0);
    EXPECT_GE(values->max(), 6);
}

TEST_F(ChartPainterTest, EveryPointKeepsItsColourAndBarsTellEqualMarksApart)
{
    QList<ChartPoint> many;
    for (int i = 0; i < 40; ++i)
        many.append(ChartPoint {i < 2 ? QStringLiteral("same") : QString::number(i), 1});
    painter.draw(QStringLiteral("t"), many, true);
    QStackedBarSeries *bars = barsOf(chart);
    ASSERT_NE(bars, nullptr);
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(barAt(*bars, i).value, 1);
        EXPECT_EQ(barAt(*bars, i).color, ChartPainter::pointColor(i));
        if (i > 0) {
            EXPECT_NE(ChartPainter::pointColor(i), ChartPainter::pointColor(i - 1));
        }
    }
    // The wrap from the last slice to the first, and from one round to the next.
    EXPECT_NE(ChartPainter::pointColor(12), ChartPainter::pointColor(0));
    EXPECT_NE(ChartPainter::pointColor(24), ChartPainter::pointColor(12));

    QBarCategoryAxis *categories = categoriesOf(chart);
    ASSERT_NE(categories, nullptr);
    ASSERT_EQ(categories->count(), 40); // both "same" marks are there
    EXPECT_EQ(visibleText(categories->at(0)), visibleText(categories->at(1)));
    EXPECT_EQ(categories->labelsAngle(), -90);
    EXPECT_TRUE(categories->labelsVisible());
}

TEST_F(ChartPainterTest, BarMarksTurnThenGoWhenThereAreMany)
{
    struct Case
    {
        int points;
        int angle;
        bool visible;
    };
    // Before the chart has a size only the number of marks counts.
    const Case cases[] = {
        {ChartPainter::FlatBarMarks, 0, true},
        {ChartPainter::FlatBarMarks + 1, -90, true},
        {ChartPainter::UprightBarMarks, -90, true},
        {ChartPainter::UprightBarMarks + 1, -90, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.points);
        QList<ChartPoint> many;
        for (int i = 0; i < c.points; ++i)
            many.append(ChartPoint {QString::number(i), double(i)});
        painter.draw(QStringLiteral("t"), many, true);
        QBarCategoryAxis *categories = categoriesOf(chart);
        ASSERT_NE(categories, nullptr);
        EXPECT_EQ(categories->labelsAngle(), c.angle);
        EXPECT_EQ(categories->labelsVisible(), c.visible);
    }
}

TEST_F(ChartPainterTest, NamesAreShownAsTheyAreNotAsMarkup)
{
    // Qt Charts takes titles and marks for rich text; a file may be called anything.
    struct Case
    {
        const char16_t *plain, *shown;
    };
    const Case cases[] = {
        {u"File Age Chart", u"File Age Chart"},
        {u"<b>a&b</b>", u"&lt;b&gt;a&amp;b&lt;/b&gt;"},
        {u"a  b", u"a \u00a0b"},
        {u"a   b", u"a \u00a0\u00a0b"},
        {u" a ", u"\u00a0a\u00a0"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChartPainter::shownText(QString::fromUtf16(c.plain)), QString::fromUtf16(c.shown))
            << QString::fromUtf16(c.plain).toStdString();
    for (bool asBar : {false, true}) {
        SCOPED_TRACE(asBar);
        painter.draw(QStringLiteral("/tmp/<i>x</i>"), points({{"<b>a&b</b>", 1}}), asBar);
        EXPECT_EQ(chart.title(), QStringLiteral("/tmp/&lt;i&gt;x&lt;/i&gt;"));
        EXPECT_EQ(painter.markText(0), QStringLiteral("<b>a&b</b>  100.0%"));
        const QString shown = asBar ? categoriesOf(chart)->at(0) : pieOf(chart)->slices().at(0)->label();
        EXPECT_EQ(shown, ChartPainter::shownText(painter.markText(0)));
    }
}

TEST_F(ChartPainterTest, ShareTexts)
{
    struct Case
    {
        double value, total;
        const char *text;
    };
    const Case cases[] = {
        {1, 3, "33.3%"},
        {3, 3, "100.0%"},
        {0, 3, "0%"},
        {0, 0, "0%"},
        {1, 100000, "<0.1%"},
        {-1, 3, "0%"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChartPainter::shareText(c.value, c.total), QLatin1String(c.text))
            << c.value << "/" << c.total;
}

TEST_F(ChartPainterTest, ZeroTotalAndNoPoints)
{
    for (bool asBar : {false, true}) {
        SCOPED_TRACE(asBar);
        painter.draw(QStringLiteral("File Age Chart"), points({{"one day", 0}, {"above one day", 0}}), asBar);
        EXPECT_EQ(painter.markText(0), QStringLiteral("one day  0%"));
        EXPECT_EQ(painter.markText(1), QStringLiteral("above one day  0%"));
        ASSERT_EQ(chart.series().size(), 1);
        if (asBar) {
            auto *values = qobject_cast<QValueAxis *>(chart.axes(Qt::Vertical).value(0));
            ASSERT_NE(values, nullptr);
            EXPECT_GT(values->max(), values->min());
        } else {
            EXPECT_EQ(pieOf(chart)->count(), 2);
        }

        // An empty folder: no points, the title still there.
        painter.draw(QStringLiteral("/empty"), {}, asBar);
        EXPECT_EQ(chart.title(), QStringLiteral("/empty"));
        ASSERT_EQ(chart.series().size(), 1);
        EXPECT_EQ(painter.points().size(), 0);
    }
}

TEST_F(ChartPainterTest, RedrawReplacesSeriesAndAxesAndKeepsTheData)
{
    const QList<ChartPoint> data = points({{"a", 1}, {"b", 2}});
    painter.draw(QStringLiteral("T"), data, true);
    painter.draw(QStringLiteral("T"), data, false);
    EXPECT_EQ(chart.series().size(), 1);
    EXPECT_TRUE(chart.axes().isEmpty());
    ASSERT_NE(pieOf(chart), nullptr);
    painter.draw(QStringLiteral("T"), data, true);
    EXPECT_EQ(chart.series().size(), 1);
    EXPECT_EQ(chart.axes().size(), 2);
    EXPECT_EQ(chart.title(), QStringLiteral("T"));
    EXPECT_EQ(categoriesOf(chart)->count(), 2);
}

TEST_F(ChartPainterTest, ClicksNameThePointAndItsOwnLabel)
{
    QSignalSpy spy(&painter, &ChartPainter::pointClicked);
    painter.draw(QStringLiteral("File Type Chart"), points({{"txt", 3}, {"", 1}, {"cpp", 4}}), false);
    emit pieOf(chart)->slices().at(1)->clicked();
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(0).at(1).toString(), QString()); // the real label, not "(none)"

    painter.draw(QStringLiteral("File Type Chart"), points({{"txt", 3}, {"", 1}, {"cpp", 4}}), true);
    QStackedBarSeries *bars = barsOf(chart);
    ASSERT_NE(bars, nullptr);
    for (QBarSet *set : bars->barSets()) {
        if (set->at(2) != 0)
            emit set->clicked(2);
    }
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(1).at(1).toString(), QStringLiteral("cpp"));
}

TEST_F(ChartPainterTest, PointerOverAPointTellsItsMark)
{
    for (bool asBar : {false, true}) {
        SCOPED_TRACE(asBar);
        painter.draw(QStringLiteral("t"), points({{"big", 99}, {"a<b", 1}}), asBar);
        if (asBar) {
            for (QBarSet *set : barsOf(chart)->barSets()) {
                if (set->at(1) != 0)
                    emit set->hovered(true, 1);
            }
        } else {
            emit pieOf(chart)->slices().at(1)->hovered(true);
        }
        EXPECT_TRUE(QToolTip::isVisible());
        EXPECT_TRUE(QToolTip::text().contains(ChartPainter::shownText(QStringLiteral("a<b  1.0%"))))
            << QToolTip::text().toStdString();
        if (asBar) {
            emit barsOf(chart)->barSets().at(1)->hovered(false, 1);
        } else {
            emit pieOf(chart)->slices().at(1)->hovered(false);
        }
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000));
    }
}

TEST_F(ChartPainterTest, SmallSlicesKeepTheirMarksToTheTooltip)
{
    // Before the chart has a size only the share counts.
    painter.draw(QStringLiteral("t"), points({{"big", 90}, {"tiny", 2}, {"small", 8}}), false);
    QPieSeries *pie = pieOf(chart);
    ASSERT_NE(pie, nullptr);
    EXPECT_TRUE(pie->slices().at(0)->isLabelVisible());
    EXPECT_FALSE(pie->slices().at(1)->isLabelVisible());
    EXPECT_TRUE(pie->slices().at(2)->isLabelVisible());
}

TEST(ChartPainterOnScreen, MarksThatWouldMeetAreLeftToTheTooltip)
{
    auto *chart = new QChart;
    QChartView view(chart);
    view.resize(934, 490);
    ChartPainter painter(chart);

    // Eighteen slices of 5% each: every one is large enough, but nineteen marks do not
    // fit around a pie of this size; the larger first slice keeps its mark.
    QList<ChartPoint> many {ChartPoint {QStringLiteral("first"), 10}};
    for (int i = 1; i < 19; ++i)
        many.append(ChartPoint {QStringLiteral("a rather long file name %1.txt").arg(i), 5});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    painter.draw(QStringLiteral("/home/user"), many, false);
    QCoreApplication::processEvents();
    QPieSeries *pie = pieOf(*chart);
    ASSERT_NE(pie, nullptr);
    int shown = 0;
    for (QPieSlice *slice : pie->slices())
        shown += slice->isLabelVisible() ? 1 : 0;
    EXPECT_TRUE(pie->slices().at(0)->isLabelVisible());
    EXPECT_GT(shown, 4);
    EXPECT_LT(shown, 19);

    // A few large slices all keep their marks, also after the window changed size.
    painter.draw(QStringLiteral("/home/user"), points({{"a", 30}, {"b", 30}, {"c", 40}}), false);
    view.resize(600, 400);
    QCoreApplication::processEvents();
    for (QPieSlice *slice : pieOf(*chart)->slices())
        EXPECT_TRUE(slice->isLabelVisible()) << slice->label().toStdString();
}

TEST(ChartPainterOnScreen, BarMarksStandUprightWhenTheyDoNotFitAndGoWhenTheyWouldMeet)
{
    auto *chart = new QChart;
    QChartView view(chart);
    view.resize(934, 490);
    ChartPainter painter(chart);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    const QList<ChartPoint> ages = points({{"one day", 1}, {"three days", 2}, {"one week", 3},
        {"one month", 4}, {"one year", 5}, {"above one year", 6}});
    QList<ChartPoint> shortMarks;
    QList<ChartPoint> manyMarks;
    for (int i = 0; i < 12; ++i)
        shortMarks.append(ChartPoint {QString::number(i), 1});
    for (int i = 0; i < 300; ++i)
        manyMarks.append(ChartPoint {QString::number(i), 1});
    struct Case
    {
        const char *name;
        const QList<ChartPoint> &points;
        int width;
        int angle;
        bool visible;
    };
    const Case cases[] = {
        {"ages, wide", ages, 1400, 0, true},
        {"ages, narrow", ages, 500, -90, true},
        {"twelve short", shortMarks, 934, 0, true},
        {"three hundred", manyMarks, 934, -90, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view.resize(c.width, 490);
        painter.draw(QStringLiteral("File Age Chart"), c.points, true);
        QCoreApplication::processEvents();
        QBarCategoryAxis *categories = categoriesOf(*chart);
        ASSERT_NE(categories, nullptr);
        EXPECT_EQ(categories->labelsAngle(), c.angle);
        EXPECT_EQ(categories->labelsVisible(), c.visible);
    }
    // Marks follow the window's size.
    painter.draw(QStringLiteral("File Age Chart"), ages, true);
    view.resize(1400, 490);
    QCoreApplication::processEvents();
    EXPECT_EQ(categoriesOf(*chart)->labelsAngle(), 0);
}

TEST(RangePoints, LabelsThenAboveTheLast)
{
    const QStringList labels {QStringLiteral("one day"), QStringLiteral("three days"),
        QStringLiteral("one week"), QStringLiteral("one month"), QStringLiteral("one year")};
    const QList<ChartPoint> result = RangePoints(labels, {5, 0, 7, 1, 2, 9});
    ASSERT_EQ(result.size(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(result.at(i).label, labels.at(i));
    EXPECT_EQ(result.at(5).label, QStringLiteral("above one year"));
    const double values[] = {5, 0, 7, 1, 2, 9};
    for (int i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(result.at(i).value, values[i]);

    // Counts missing at the end are empty buckets.
    const QList<ChartPoint> short_ = RangePoints({QStringLiteral("1K")}, {3});
    ASSERT_EQ(short_.size(), 2);
    EXPECT_DOUBLE_EQ(short_.at(1).value, 0);
    EXPECT_EQ(short_.at(1).label, QStringLiteral("above 1K"));
}

TEST(RangePoints, NoRangesGiveOnePointForAllFiles)
{
    const QList<ChartPoint> result = RangePoints({}, {42});
    ASSERT_EQ(result.size(), 1);
    EXPECT_EQ(result.at(0).label, QStringLiteral("all files"));
    EXPECT_DOUBLE_EQ(result.at(0).value, 42);
}

} // namespace
