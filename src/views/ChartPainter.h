#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QChart;
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
// Bar: one bar per point on a category axis that carries the marks, turned when
// they would not fit side by side and left off when there are too many to read (the
// tooltip still tells them); a value axis on the left.
class ChartPainter : public QObject
{
    Q_OBJECT
public:
    // Smaller slices keep their marks to the tooltip.
    static constexpr double MinLabelledShare = 3.0;
    // Category marks beyond these counts are turned by 45, then 90 degrees, and
    // beyond the last they are not drawn at all.
    static constexpr int FlatBarMarks = 8;
    static constexpr int SlantedBarMarks = 20;
    static constexpr int UprightBarMarks = 50;

    explicit ChartPainter(QChart *chart, QObject *parent = nullptr);

    QChart *chart() const { return m_chart; }
    // Replaces the chart's title and series.
    void draw(const QString &title, const QList<ChartPoint> &points, bool asBar);
    const QList<ChartPoint> &points() const { return m_points; }

    // The mark of point `point` of the last draw: "label  12.3%", the share of the
    // series total; an empty label reads "(none)".
    QString markText(int point) const;
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
    void placePieMarks();
    void showTip(bool shown, int point);

    QChart *m_chart;
    QList<ChartPoint> m_points;
    double m_total = 0;
    QPieSeries *m_pie = nullptr; // the pie of the last draw, or none
};

// The points of the age and size charts: one per bucket, labelled by the ranges'
// labels and "above " + the last label. Counts missing at the end read as 0.
QList<ChartPoint> RangePoints(const QStringList &labels, const std::vector<std::uint64_t> &counts);
