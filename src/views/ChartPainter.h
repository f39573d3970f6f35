#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QChart;
class QBarCategoryAxis;
class QPieSeries;

// One point of a chart: its label and value.
struct ChartPoint
{
    QString label;
    double value = 0;
};

// Draws the four charts of the main window on Qt Charts: one series, pie or bar, a
// colour per point, marks with the label and the share of the series, labels of
// small slices kept from piling up. Clicks on a point come out as pointClicked.
//
// Pie: one slice per point. A slice's mark is shown beside it only when the slice
// holds at least MinLabelledShare of the total and its mark, placed where Qt Charts
// puts it, does not run into the mark of a larger slice; every slice tells its mark
// in a tooltip while the pointer is over it. The marks are placed again whenever the
// plot area changes size.
// Bar: one bar per point on a category axis that carries the marks: level when the
// widest mark fits the width of a bar's slot, turned upright when it does not, and
// left off when even upright marks would meet (slots narrower than a line of text);
// the tooltip still tells them. A value axis on the left.
class ChartPainter : public QObject
{
    Q_OBJECT
public:
    // Smaller slices keep their marks to the tooltip.
    static constexpr double MinLabelledShare = 3.0;
    // Before the chart has a size: category marks beyond FlatBarMarks are turned
    // upright, beyond UprightBarMarks left off.
    static constexpr int FlatBarMarks = 8;
    static constexpr int UprightBarMarks = 50;

    explicit ChartPainter(QChart *chart, QObject *parent = nullptr);

    QChart *chart() const { return m_chart; }
    // Replaces the chart's title and series.
    void draw(const QString &title, const QList<ChartPoint> &points, bool asBar);
    const QList<ChartPoint> &points() const { return m_points; }

    // The mark of point `point` of the last draw: "label  12.3%", the share of the
    // series total; an empty label reads "(none)".
    QString markText(int point) const;
    // What the chart shows for a plain text: Qt Charts reads titles and marks as rich
    // text, so "<", "&" and runs of spaces in a file name would otherwise be taken as
    // markup or folded away. Text without either comes back unchanged.
    static QString shownText(const QString &plain);
    // Point i's colour: the same for the same position in every draw, pie or bar.
    static QColor pointColor(int point);
    // "12.3%" with one decimal; "0%" for nothing (also when the total is zero) and
    // "<0.1%" for a share too small to show, so no slice reads as empty that is not.
    static QString shareText(double value, double total);

signals:
    void pointClicked(int point, const QString &label);

private:
    void drawPie();
    void drawBars();
    void placeMarks();
    void placePieMarks();
    void placeBarMarks();
    void click(int point);
    void showTip(bool shown, int point);

    QChart *m_chart;
    QList<ChartPoint> m_points;
    double m_total = 0;
    QPieSeries *m_pie = nullptr; // the pie of the last draw, or none
    QBarCategoryAxis *m_categories = nullptr; // the bars' marks of the last draw, or none
};

// The points of the age and size charts: one per bucket, labelled by the ranges'
// labels and "above " + the last label. Counts missing at the end read as 0.
QList<ChartPoint> RangePoints(const QStringList &labels, const std::vector<std::uint64_t> &counts);
