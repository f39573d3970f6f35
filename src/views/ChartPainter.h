#pragma once

#include <QList>
#include <QStringList>

#include <cstdint>
#include <vector>
#include <QObject>
#include <QString>

class QChart;

// One point of a chart: its label and value.
struct ChartPoint
{
    QString label;
    double value = 0;
};

// Draws the four charts of the main window on Qt Charts: one series, pie or bar, a
// colour per point, marks with the label and the share of the series, labels of
// small slices kept from piling up. Clicks on a point come out as pointClicked.
class ChartPainter : public QObject
{
    Q_OBJECT
public:
    explicit ChartPainter(QChart *chart, QObject *parent = nullptr);

    QChart *chart() const { return m_chart; }
    // Replaces the chart's title and series.
    void draw(const QString &title, const QList<ChartPoint> &points, bool asBar);
    const QList<ChartPoint> &points() const { return m_points; }

signals:
    void pointClicked(int point, const QString &label);

private:
    QChart *m_chart;
    QList<ChartPoint> m_points;
};

// The points of the age and size charts: one per bucket, labelled by the ranges'
// labels and "above " + the last label.
QList<ChartPoint> RangePoints(const QStringList &labels, const std::vector<std::uint64_t> &counts);
