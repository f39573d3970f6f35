#include "ChartPainter.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QCursor>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHash>
#include <QPieSeries>
#include <QPieSlice>
#include <QSet>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

// Distinct, calm colours that stay apart from one another and from the white
// background; a second and third round of points takes darker and lighter shades so
// that neighbours never look alike, even where the last slice meets the first.
constexpr std::array<QRgb, 12> Palette = {
    0x4e79a7,
    0xf28e2b,
    0x59a14f,
    0xe15759,
    0x76b7b2,
    0xedc948,
    0xb07aa1,
    0xff9da7,
    0x9c755f,
    0x8cd17d,
    0xd37295,
    0x79706e,
};

// How much room the pie leaves around itself for the marks.
constexpr qreal PieSize = 0.7;
// Beyond this many slices white borders would cover thin slices.
constexpr int BorderedSlices = 60;
// Space kept free around every mark of a slice, in pixels.
constexpr qreal MarkMargin = 3;

QString pointLabel(const QString &label)
{
    return label.isEmpty() ? QStringLiteral("(none)") : label;
}

// A value axis from 0 to a round number above the largest value, with ticks at round
// steps of at least 1: the values are counts of files or bytes, so a fractional tick
// would only print the same integer twice.
void roundAxis(QValueAxis *axis, double largest)
{
    const double top = largest > 0 ? largest : 1;
    const double raw = top / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normal = raw / magnitude;
    double step = (normal <= 1 ? 1 : normal <= 2 ? 2 : normal <= 5 ? 5 : 10) * magnitude;
    step = std::max(step, 1.0);
    const double steps = std::ceil(top / step);
    axis->setRange(0, steps * step);
    axis->setTickCount(int(steps) + 1);
    axis->setLabelFormat(QStringLiteral("%.0f"));
}

} // namespace

ChartPainter::ChartPainter(QChart *chart, QObject *parent) : QObject(parent), m_chart(chart)
{
    // Charts are redrawn on every change of folder and saved as bitmaps right after:
    // an animation would only show half-drawn series in both.
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setBackgroundRoundness(0);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_chart->legend()->hide(); // the marks name the points
    // Without this the chart keeps a grey frame of the view's colour around it, on the
    // screen and in the saved bitmap.
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setMargins(QMargins(10, 6, 18, 6));
    QFont titleFont = m_chart->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() + 1);
    m_chart->setTitleFont(titleFont);
    // Slices and slanted edges are ragged without it; the view is the one place it is set.
    if (QGraphicsScene *scene = m_chart->scene()) {
        for (QGraphicsView *view : scene->views())
            view->setRenderHint(QPainter::Antialiasing);
    }
    connect(m_chart, &QChart::plotAreaChanged, this, &ChartPainter::placeMarks);
}

QColor ChartPainter::pointColor(int point)
{
    const QColor base = QColor::fromRgb(Palette[std::size_t(point) % Palette.size()]);
    switch ((std::size_t(point) / Palette.size()) % 3) {
    case 1:
        return base.darker(135);
    case 2:
        return base.lighter(125);
    default:
        return base;
    }
}

QString ChartPainter::shareText(double value, double total)
{
    if (total <= 0 || value <= 0)
        return QStringLiteral("0%");
    const double share = value * 100 / total;
    if (share < 0.05)
        return QStringLiteral("<0.1%");
    return QString::number(share, 'f', 1) + QLatin1Char('%');
}

QString ChartPainter::shownText(const QString &plain)
{
    // Only spaces that rich text would fold or drop become no-break spaces, so that an
    // ordinary title stays the text it was given.
    QString shown = plain.toHtmlEscaped();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i) == QLatin1Char(' ')
            && (i == 0 || i + 1 == shown.size() || shown.at(i - 1) == QChar(QChar::Nbsp)
                || shown.at(i - 1) == QLatin1Char(' ')))
            shown[i] = QChar(QChar::Nbsp);
    }
    return shown;
}

QString ChartPainter::markText(int point) const
{
    if (point < 0 || point >= m_points.size())
        return QString();
    const ChartPoint &p = m_points.at(point);
    return pointLabel(p.label) + QStringLiteral("  ") + shareText(p.value, m_total);
}

void ChartPainter::draw(const QString &title, const QList<ChartPoint> &points, bool asBar)
{
    m_chart->setTitle(shownText(title));
    m_pie = nullptr;
    m_categories = nullptr;
    m_chart->removeAllSeries();
    for (QAbstractAxis *axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_points = points;
    m_total = std::accumulate(m_points.cbegin(), m_points.cend(), 0.0,
        [](double sum, const ChartPoint &p) { return sum + std::max(p.value, 0.0); });
    if (asBar)
        drawBars();
    else
        drawPie();
}

void ChartPainter::drawPie()
{
    auto *series = new QPieSeries(m_chart);
    series->setPieSize(PieSize);
    for (int i = 0; i < m_points.size(); ++i) {
        // A negative value has no share of a pie; it is drawn as nothing.
        auto *slice = series->append(shownText(markText(i)), std::max(m_points.at(i).value, 0.0));
        const QColor color = pointColor(i);
        slice->setColor(color);
        slice->setBorderColor(m_points.size() <= BorderedSlices ? QColor(Qt::white) : color);
        slice->setLabelColor(QColor(0x30, 0x30, 0x30));
        slice->setLabelArmLengthFactor(0.12);
        connect(slice, &QPieSlice::clicked, this, [this, i] { click(i); });
        connect(slice, &QPieSlice::hovered, this, [this, slice, color, i](bool shown) {
            slice->setColor(shown ? color.lighter(115) : color);
            showTip(shown, i);
        });
    }
    m_chart->addSeries(series);
    m_pie = series;
    placePieMarks();
}

void ChartPainter::placeMarks()
{
    placePieMarks();
    placeBarMarks();
}

void ChartPainter::placePieMarks()
{
    if (m_pie == nullptr)
        return;
    const QList<QPieSlice *> slices = m_pie->slices();
    std::vector<int> order(std::size_t(slices.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&](int a, int b) { return slices.at(a)->value() > slices.at(b)->value(); });

    // Where Qt Charts draws a slice's mark: at the end of an arm that leaves the
    // slice's middle radially and turns sideways, the text above the sideways part,
    // to the right on the right half and to the left on the left half. Before the
    // chart has a size only the share decides.
    const QRectF plot = m_chart->plotArea();
    const bool placed = plot.width() > 1 && plot.height() > 1;
    const QPointF center(plot.left() + plot.width() * m_pie->horizontalPosition(),
        plot.top() + plot.height() * m_pie->verticalPosition());
    const qreal radius = std::min(plot.width(), plot.height()) / 2 * m_pie->pieSize();
    const QRectF room(QPointF(0, 0), m_chart->size());
    const double total = m_pie->sum();
    QList<QRectF> taken;
    for (int i : order) {
        QPieSlice *slice = slices.at(i);
        bool shown = total > 0 && slice->value() * 100 / total >= MinLabelledShare;
        if (shown && placed) {
            const qreal angle = slice->startAngle() + slice->angleSpan() / 2;
            const qreal length = radius * (1 + slice->labelArmLengthFactor());
            const qreal radians = qDegreesToRadians(angle);
            const QPointF end(
                center.x() + std::sin(radians) * length, center.y() - std::cos(radians) * length);
            const QFontMetricsF metrics(slice->labelFont());
            const QSizeF text(metrics.horizontalAdvance(markText(i)), metrics.height());
            QRectF box(
                QPointF(angle < 180 ? end.x() : end.x() - text.width(), end.y() - text.height()), text);
            box.adjust(-MarkMargin, -MarkMargin, MarkMargin, MarkMargin);
            shown = room.contains(box) && std::none_of(taken.cbegin(), taken.cend(), [&](const QRectF &r) {
                return r.intersects(box);
            });
            if (shown)
                taken.append(box);
        }
        slice->setLabelVisible(shown);
    }
}

void ChartPainter::drawBars()
{
    // Qt gives a bar set one colour; a bar of its own colour for every point is a set
    // per colour in a stacked series whose sets hold the point's value at the point's
    // own category and nothing at the others. With a bounded palette that is at most
    // 36 sets, so the cost grows with the points, not with their square.
    auto *series = new QStackedBarSeries(m_chart);
    series->setBarWidth(0.7);
    const int count = int(m_points.size());
    QHash<QRgb, QBarSet *> sets;
    double largest = 0;
    for (int i = 0; i < count; ++i) {
        const QColor color = pointColor(i);
        QBarSet *&set = sets[color.rgb()];
        if (set == nullptr) {
            set = new QBarSet(QString(), series);
            set->setColor(color);
            set->setBorderColor(color);
            set->append(QList<qreal>(count, 0.0));
            connect(set, &QBarSet::clicked, this, [this](int point) {
                if (point >= 0 && point < m_points.size())
                    click(point);
            });
            connect(set, &QBarSet::hovered, this, &ChartPainter::showTip);
            series->append(set);
        }
        const double value = std::max(m_points.at(i).value, 0.0);
        set->replace(i, value);
        largest = std::max(largest, value);
    }

    // A category axis holds each text once; equal marks (two ranges labelled alike)
    // are told apart by zero-width spaces that nobody sees.
    QStringList marks;
    QSet<QString> seen;
    for (int i = 0; i < count; ++i) {
        QString mark = shownText(markText(i));
        while (seen.contains(mark))
            mark += QChar(0x200b);
        seen.insert(mark);
        marks.append(mark);
    }
    auto *categories = new QBarCategoryAxis(m_chart);
    categories->append(marks);
    categories->setGridLineVisible(false);
    auto *values = new QValueAxis(m_chart);
    roundAxis(values, largest);
    values->setGridLineColor(QColor(0xe4, 0xe4, 0xe4));

    m_chart->addSeries(series);
    m_chart->addAxis(categories, Qt::AlignBottom);
    m_chart->addAxis(values, Qt::AlignLeft);
    series->attachAxis(categories);
    series->attachAxis(values);
    m_categories = categories;
    placeBarMarks();
}

void ChartPainter::placeBarMarks()
{
    if (m_categories == nullptr)
        return;
    const int count = int(m_points.size());
    const qreal width = m_chart->plotArea().width();
    bool level = count <= FlatBarMarks;
    bool shown = count <= UprightBarMarks;
    // Only the width decides, so turning the marks (which changes the plot's height)
    // cannot turn them back.
    if (width > 1 && count > 0) {
        const QFontMetricsF metrics(m_categories->labelsFont());
        const qreal slot = width / count;
        qreal widest = 0;
        for (int i = 0; i < count; ++i)
            widest = std::max(widest, metrics.horizontalAdvance(markText(i)));
        level = widest + 2 * MarkMargin <= slot;
        shown = metrics.height() <= slot;
    }
    m_categories->setLabelsAngle(level ? 0 : -90);
    m_categories->setLabelsVisible(shown);
}

void ChartPainter::click(int point)
{
    // A click usually opens a list over the chart: the slice's tip must not stay on it.
    QToolTip::hideText();
    emit pointClicked(point, m_points.at(point).label);
}

void ChartPainter::showTip(bool shown, int point)
{
    if (shown)
        QToolTip::showText(
            QCursor::pos(), QStringLiteral("<qt>") + shownText(markText(point)) + QStringLiteral("</qt>"));
    else
        QToolTip::hideText();
}

QList<ChartPoint> RangePoints(const QStringList &labels, const std::vector<std::uint64_t> &counts)
{
    const auto countAt = [&](std::size_t i) { return i < counts.size() ? double(counts[i]) : 0.0; };
    QList<ChartPoint> points;
    // Without range items in the configuration every file falls into the one bucket,
    // and there is no last label to say "above" of: the point stands for all files.
    if (labels.isEmpty()) {
        points.append(ChartPoint {QStringLiteral("all files"), countAt(0)});
        return points;
    }
    const std::size_t n = std::size_t(labels.size());
    for (std::size_t i = 0; i < n; ++i)
        points.append(ChartPoint {labels.at(qsizetype(i)), countAt(i)});
    points.append(ChartPoint {QStringLiteral("above ") + labels.last(), countAt(n)});
    return points;
}
