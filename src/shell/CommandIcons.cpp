#include "CommandIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

// Every icon is drawn on a 32 x 32 grid and scaled to the size asked for. Strokes are
// at least 2 units wide so they keep one whole pixel at 16 x 16, and each icon keeps
// to a few flat colours from one palette, so the tool bars read as a set.

namespace {

namespace Palette {
const QColor Ink(0x34, 0x49, 0x5E);
const QColor FolderBack(0xE0, 0x9E, 0x1F);
const QColor FolderFront(0xF7, 0xC2, 0x4A);
const QColor FolderEdge(0xA8, 0x6E, 0x12);
const QColor Paper(0xFF, 0xFF, 0xFF);
const QColor PaperEdge(0x6F, 0x7E, 0x8C);
const QColor PaperFold(0xD5, 0xDB, 0xE1);
const QColor Blue(0x2D, 0x7F, 0xF9);
const QColor Green(0x21, 0xA3, 0x66);
const QColor Orange(0xF2, 0x71, 0x1C);
const QColor Red(0xE0, 0x4F, 0x5F);
const QColor Teal(0x16, 0xA2, 0xB8);
const QColor Purple(0x8E, 0x44, 0xAD);
const QColor Light(0xE8, 0xF1, 0xFE);
} // namespace Palette

QPen pen(const QColor &color, qreal width = 2.0)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A closed outline through the corners in turn, filled and edged with the pen
// the painter holds.
void drawOutline(QPainter &p, std::initializer_list<QPointF> corners, const QColor &fill)
{
    QPainterPath outline;
    outline.moveTo(*corners.begin());
    for (auto corner = corners.begin() + 1; corner != corners.end(); ++corner)
        outline.lineTo(*corner);
    outline.closeSubpath();
    p.setBrush(fill);
    p.drawPath(outline);
}

void drawFolder(QPainter &p, const QRectF &r, bool open)
{
    // Back with its tab.
    p.setPen(pen(Palette::FolderEdge, 1.5));
    drawOutline(p,
        {QPointF(r.left(), r.top() + 2), QPointF(r.left() + r.width() * 0.38, r.top() + 2),
            QPointF(r.left() + r.width() * 0.46, r.top() + 5), QPointF(r.right(), r.top() + 5),
            QPointF(r.right(), r.bottom()), QPointF(r.left(), r.bottom())},
        Palette::FolderBack);

    if (open) {
        // The flap tilted forward shows the folder is open.
        drawOutline(p,
            {QPointF(r.left() + r.width() * 0.18, r.top() + r.height() * 0.42),
                QPointF(r.right() + 2, r.top() + r.height() * 0.42),
                QPointF(r.right() - r.width() * 0.12, r.bottom()), QPointF(r.left(), r.bottom())},
            Palette::FolderFront);
    } else {
        drawOutline(p,
            {QPointF(r.left(), r.top() + r.height() * 0.34), QPointF(r.right(), r.top() + r.height() * 0.34),
                QPointF(r.right(), r.bottom()), QPointF(r.left(), r.bottom())},
            Palette::FolderFront);
    }
}

// A sheet with its top right corner folded over.
void drawPage(QPainter &p, const QRectF &r)
{
    const qreal fold = r.width() * 0.32;
    p.setPen(pen(Palette::PaperEdge, 1.5));
    drawOutline(p,
        {r.topLeft(), QPointF(r.right() - fold, r.top()), QPointF(r.right(), r.top() + fold), r.bottomRight(),
            r.bottomLeft()},
        Palette::Paper);
    drawOutline(p,
        {QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
            QPointF(r.right(), r.top() + fold)},
        Palette::PaperFold);
}

// Export icons: a page, and a round-cornered badge at the bottom right that says which kind.
const QRectF ExportPage(5, 2, 18, 24);
const QRectF Badge(15, 15, 15, 15);

void drawBadgeBackground(QPainter &p, const QColor &color)
{
    p.setPen(pen(Palette::Paper, 1.5));
    p.setBrush(color);
    p.drawRoundedRect(Badge, 3, 3);
}

void drawTextLines(QPainter &p, const QRectF &page, int lines)
{
    p.setPen(pen(Palette::PaperEdge, 2));
    for (int i = 0; i < lines; ++i) {
        const qreal y = page.top() + 9 + i * 4;
        const qreal right = i == lines - 1 ? page.center().x() : page.right() - 4;
        p.drawLine(QPointF(page.left() + 4, y), QPointF(right, y));
    }
}

void drawExportHtml(QPainter &p)
{
    drawPage(p, ExportPage);
    drawTextLines(p, ExportPage, 2);
    // A globe: the web.
    const QPointF c = Badge.center();
    p.setPen(pen(Palette::Paper, 1.5));
    p.setBrush(Palette::Blue);
    p.drawEllipse(c, 7.5, 7.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(Palette::Paper, 1.3));
    p.drawEllipse(c, 3.0, 6.0);
    p.drawLine(QPointF(c.x() - 6.5, c.y()), QPointF(c.x() + 6.5, c.y()));
}

void drawExportXml(QPainter &p)
{
    drawPage(p, ExportPage);
    drawTextLines(p, ExportPage, 2);
    drawBadgeBackground(p, Palette::Orange);
    // Angle brackets: markup.
    const QPointF c = Badge.center();
    p.setPen(pen(Palette::Paper, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF(
        {QPointF(c.x() - 1.5, c.y() - 4), QPointF(c.x() - 5, c.y()), QPointF(c.x() - 1.5, c.y() + 4)}));
    p.drawPolyline(QPolygonF(
        {QPointF(c.x() + 1.5, c.y() - 4), QPointF(c.x() + 5, c.y()), QPointF(c.x() + 1.5, c.y() + 4)}));
}

void drawExportText(QPainter &p)
{
    const QRectF page(6, 2, 20, 28);
    drawPage(p, page);
    p.setPen(pen(Palette::Ink, 2));
    for (int i = 0; i < 5; ++i) {
        const qreal y = page.top() + 9 + i * 4;
        const qreal right = i == 4 ? page.center().x() + 1 : page.right() - 4;
        p.drawLine(QPointF(page.left() + 4, y), QPointF(right, y));
    }
}

void drawGrid(QPainter &p, const QRectF &r, int columns, int rows, const QColor &color)
{
    p.setPen(pen(color, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
    for (int c = 1; c < columns; ++c) {
        const qreal x = r.left() + r.width() * c / columns;
        p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
    }
    for (int row = 1; row < rows; ++row) {
        const qreal y = r.top() + r.height() * row / rows;
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
}

void drawExportCsv(QPainter &p)
{
    const QRectF page(6, 2, 20, 28);
    drawPage(p, page);
    // Values in columns, no styling: a plain grid.
    drawGrid(p, QRectF(page.left() + 3, page.top() + 9, page.width() - 6, 15), 3, 3, Palette::Teal);
}

void drawExportExcel(QPainter &p)
{
    drawPage(p, ExportPage);
    drawGrid(p, QRectF(ExportPage.left() + 3, ExportPage.top() + 9, 10, 9), 2, 2, Palette::Green);
    drawBadgeBackground(p, Palette::Green);
    const QPointF c = Badge.center();
    p.setPen(pen(Palette::Paper, 2.2));
    p.drawLine(c + QPointF(-3.5, -4), c + QPointF(3.5, 4));
    p.drawLine(c + QPointF(3.5, -4), c + QPointF(-3.5, 4));
}

void drawColumnsConfig(QPainter &p)
{
    // A table whose header row is set apart, and a check mark: choose the columns shown.
    const QRectF table(3, 4, 24, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::Paper);
    p.drawRect(table);
    p.setBrush(Palette::Blue);
    p.drawRect(QRectF(table.left(), table.top(), table.width(), 6));
    drawGrid(p, table, 3, 1, Palette::Ink);
    p.setPen(pen(Palette::Ink, 1.5));
    p.drawLine(QPointF(table.left(), table.top() + 6), QPointF(table.right(), table.top() + 6));

    p.setPen(pen(Palette::Paper, 6));
    const QPolygonF check({QPointF(17, 22), QPointF(21, 26.5), QPointF(29, 16)});
    p.drawPolyline(check);
    p.setPen(pen(Palette::Green, 3));
    p.drawPolyline(check);
}

void drawArrowOut(QPainter &p, const QPointF &from, const QPointF &to, const QColor &color)
{
    p.setPen(pen(Palette::Paper, 5.5));
    p.drawLine(from, to);
    p.setPen(pen(color, 2.5));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    const QPolygonF head({to + d * 1.5, to - d * 6 + n * 4.5, to - d * 6 - n * 4.5});
    p.setPen(pen(color, 1));
    p.setBrush(color);
    p.drawPolygon(head);
}

void drawOpenExplorer(QPainter &p)
{
    drawFolder(p, QRectF(2, 8, 22, 19), false);
    // Out of the program into the desktop's file manager.
    drawArrowOut(p, QPointF(16, 20), QPointF(27.5, 6.5), Palette::Blue);
}

void drawUp(QPainter &p)
{
    p.setPen(pen(Palette::Blue.darker(130), 1.5));
    drawOutline(p,
        {QPointF(16, 3), QPointF(28, 15), QPointF(20.5, 15), QPointF(20.5, 28), QPointF(11.5, 28),
            QPointF(11.5, 15), QPointF(4, 15)},
        Palette::Blue);
}

void drawReturn(QPainter &p)
{
    // A U-turn to the left: back to the chart.
    QPainterPath turn;
    turn.moveTo(12, 9);
    turn.lineTo(19, 9);
    turn.arcTo(QRectF(12, 9, 16, 16), 90, -180);
    turn.lineTo(7, 25);
    p.setPen(pen(Palette::Green, 4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(turn);
    p.setPen(pen(Palette::Green, 1));
    drawOutline(p, {QPointF(3, 9), QPointF(13, 2), QPointF(13, 16)}, Palette::Green);
}

void drawPie(QPainter &p, const QRectF &r)
{
    // Angles in 1/16 degree, counter-clockwise from three o'clock.
    struct Slice
    {
        int start;
        int span;
        QColor color;
    };
    const std::array<Slice, 3> slices = {{
        {90 * 16, 150 * 16, Palette::Blue},
        {240 * 16, 110 * 16, Palette::Green},
        {350 * 16, 100 * 16, Palette::Orange},
    }};
    p.setPen(pen(Palette::Paper, 1.5));
    for (const Slice &s : slices) {
        QRectF box = r;
        if (s.color == Palette::Orange)
            box.translate(1.8, -1.8); // the slice pulled out of the pie
        p.setBrush(s.color);
        p.drawPie(box, s.start, s.span);
    }
}

void drawPieChart(QPainter &p)
{
    drawPie(p, QRectF(3, 5, 25, 25));
}

// Three bars left to right in the colours of the pie's slices, so either chart
// icon reads as the same data.
void drawBars(QPainter &p, const QRectF &first, const QRectF &second, const QRectF &third)
{
    p.setBrush(Palette::Blue);
    p.drawRect(first);
    p.setBrush(Palette::Green);
    p.drawRect(second);
    p.setBrush(Palette::Orange);
    p.drawRect(third);
}

void drawBarChart(QPainter &p)
{
    p.setPen(Qt::NoPen);
    drawBars(p, QRectF(7, 15, 6, 12), QRectF(15, 7, 6, 20), QRectF(23, 19, 6, 8));
    p.setPen(pen(Palette::Ink, 2));
    p.drawPolyline(QPolygonF({QPointF(3, 3), QPointF(3, 28), QPointF(30, 28)}));
}

void drawSaveChart(QPainter &p)
{
    // A diskette whose label carries a small bar chart.
    p.setPen(pen(Palette::Ink, 1.5));
    drawOutline(
        p, {QPointF(3, 3), QPointF(25, 3), QPointF(29, 7), QPointF(29, 29), QPointF(3, 29)}, Palette::Ink);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::PaperFold);
    p.drawRect(QRectF(9, 3.8, 13, 8));
    p.setBrush(Palette::Ink);
    p.drawRect(QRectF(17, 5, 3, 5.5));
    p.setBrush(Palette::Paper);
    p.drawRoundedRect(QRectF(6, 15, 20, 12), 1.5, 1.5);
    drawBars(p, QRectF(9, 21, 3.5, 4), QRectF(14.25, 17, 3.5, 8), QRectF(19.5, 19, 3.5, 6));
}

void drawTabTree(QPainter &p)
{
    // A root with children one level in: the whole scan as a tree.
    p.setPen(pen(Palette::Ink, 2));
    p.drawLine(QPointF(8, 10), QPointF(8, 25));
    p.drawLine(QPointF(8, 16), QPointF(15, 16));
    p.drawLine(QPointF(8, 25), QPointF(15, 25));
    const auto node = [&p](const QRectF &r, const QColor &fill) {
        p.setPen(pen(fill.darker(140), 1.5));
        p.setBrush(fill);
        p.drawRoundedRect(r, 1.5, 1.5);
    };
    node(QRectF(3, 3, 10, 8), Palette::FolderFront);
    node(QRectF(15, 12.5, 13, 7), Palette::FolderFront);
    node(QRectF(15, 21.5, 13, 7), Palette::Paper);
}

void drawTabList(QPainter &p)
{
    // Rows of one folder: a mark and a name each.
    const std::array<QColor, 4> marks = {
        Palette::FolderFront, Palette::FolderFront, Palette::Paper, Palette::Paper};
    for (int i = 0; i < 4; ++i) {
        const qreal y = 4 + i * 7;
        p.setPen(pen(marks[i] == Palette::Paper ? Palette::PaperEdge : Palette::FolderEdge, 1.2));
        p.setBrush(marks[i]);
        p.drawRect(QRectF(3, y, 6, 5));
        p.setPen(pen(Palette::Ink, 2));
        p.drawLine(QPointF(13, y + 2.5), QPointF(i % 2 ? 23 : 29, y + 2.5));
    }
}

void drawTabFileChart(QPainter &p)
{
    drawFolder(p, QRectF(2, 4, 22, 19), false);
    p.setPen(pen(Palette::Paper, 1.5));
    p.setBrush(Palette::Paper);
    p.drawEllipse(QRectF(13, 13, 18, 18));
    drawPie(p, QRectF(14, 14, 16, 16));
}

void drawTabAge(QPainter &p)
{
    p.setPen(pen(Palette::Ink, 2.5));
    p.setBrush(Palette::Light);
    p.drawEllipse(QPointF(16, 16), 12.5, 12.5);
    p.setPen(pen(Palette::Ink, 1.5));
    for (int hour = 0; hour < 12; hour += 3) {
        const qreal a = hour * M_PI / 6;
        p.drawLine(QPointF(16 + 9.5 * std::sin(a), 16 - 9.5 * std::cos(a)),
            QPointF(16 + 11 * std::sin(a), 16 - 11 * std::cos(a)));
    }
    p.setPen(pen(Palette::Ink, 2.5));
    p.drawLine(QPointF(16, 16), QPointF(16, 8));
    p.setPen(pen(Palette::Red, 2.5));
    p.drawLine(QPointF(16, 16), QPointF(22, 19));
}

void drawTabSize(QPainter &p)
{
    // Three boxes from small to large standing on one line.
    const std::array<QRectF, 3> boxes = {QRectF(2, 22, 6, 6), QRectF(10, 16, 9, 12), QRectF(21, 6, 9, 22)};
    const std::array<QColor, 3> fills = {
        Palette::Teal.lighter(160), Palette::Teal.lighter(125), Palette::Teal};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        p.setPen(pen(Palette::Teal.darker(150), 1.5));
        p.setBrush(fills[i]);
        p.drawRect(boxes[i]);
    }
    p.setPen(pen(Palette::Ink, 2));
    p.drawLine(QPointF(1, 29), QPointF(31, 29));
}

void drawTabType(QPainter &p)
{
    // Different shapes: files told apart by their kind.
    p.setPen(pen(Palette::Red.darker(130), 1.5));
    p.setBrush(Palette::Red);
    p.drawEllipse(QPointF(9, 9), 6.5, 6.5);
    p.setPen(pen(Palette::Blue.darker(130), 1.5));
    p.setBrush(Palette::Blue);
    p.drawRect(QRectF(18, 3, 12, 12));
    p.setPen(pen(Palette::Green.darker(130), 1.5));
    p.setBrush(Palette::Green);
    p.drawPolygon(QPolygonF({QPointF(16, 17), QPointF(25, 30), QPointF(7, 30)}));
    p.setPen(pen(Palette::Purple.darker(130), 1.5));
    p.setBrush(Palette::Purple);
    p.drawEllipse(QPointF(27, 25.5), 3.5, 3.5);
}

void drawTabTreemap(QPainter &p)
{
    // Nested rectangles, each area a share: one large, two beside it, one split again.
    const auto tile = [&p](const QRectF &r, const QColor &fill) {
        p.setPen(pen(fill.darker(140), 1.5));
        p.setBrush(fill);
        p.drawRect(r);
    };
    tile(QRectF(3, 3, 15, 26), Palette::Blue);
    tile(QRectF(18, 3, 11, 14), Palette::Orange);
    tile(QRectF(18, 17, 6, 12), Palette::Green);
    tile(QRectF(24, 17, 5, 12), Palette::Purple);
}

void drawOpenFolder(QPainter &p)
{
    drawFolder(p, QRectF(2, 5, 26, 22), true);
}

void draw(QPainter &p, Command command)
{
    switch (command) {
    case Command::OpenFolder:
        drawOpenFolder(p);
        break;
    case Command::Up:
        drawUp(p);
        break;
    case Command::ExportHtml:
        drawExportHtml(p);
        break;
    case Command::ExportXml:
        drawExportXml(p);
        break;
    case Command::ExportText:
        drawExportText(p);
        break;
    case Command::ExportCsv:
        drawExportCsv(p);
        break;
    case Command::ExportExcel:
        drawExportExcel(p);
        break;
    case Command::ColumnsConfig:
        drawColumnsConfig(p);
        break;
    case Command::OpenExplorer:
        drawOpenExplorer(p);
        break;
    case Command::Return:
        drawReturn(p);
        break;
    case Command::PieChart:
        drawPieChart(p);
        break;
    case Command::BarChart:
        drawBarChart(p);
        break;
    case Command::SaveChart:
        drawSaveChart(p);
        break;
    case Command::TabTree:
        drawTabTree(p);
        break;
    case Command::TabList:
        drawTabList(p);
        break;
    case Command::TabFileChart:
        drawTabFileChart(p);
        break;
    case Command::TabAge:
        drawTabAge(p);
        break;
    case Command::TabSize:
        drawTabSize(p);
        break;
    case Command::TabType:
        drawTabType(p);
        break;
    case Command::TabTreemap:
        drawTabTreemap(p);
        break;
    }
}

QPixmap render(Command command, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Square, centred in a box of another shape.
    const int side = std::min(size.width(), size.height());
    p.translate((size.width() - side) / 2.0, (size.height() - side) / 2.0);
    p.scale(side / 32.0, side / 32.0);
    draw(p, command);
    p.end();
    return QPixmap::fromImage(image);
}

// Draws the icon at exactly the device pixels asked for, so it is as sharp on a
// screen scaled by 2 (or 1.5) as at scale 1; the disabled and selected looks come
// from the style, as for an icon made of pixmaps. Pixmaps are cached by size and look.
class CommandIconEngine : public QIconEngine
{
public:
    explicit CommandIconEngine(Command command) : m_command(command) { }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, drawn);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        if (size.isEmpty())
            return QPixmap();
        const QString key = QStringLiteral("folvane-command-%1-%2x%3-%4")
                                .arg(int(m_command))
                                .arg(size.width())
                                .arg(size.height())
                                .arg(int(mode));
        QPixmap cached;
        if (QPixmapCache::find(key, &cached))
            return cached;
        QPixmap drawn = render(m_command, size);
        if (mode != QIcon::Normal && mode != QIcon::Active) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            drawn = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
        }
        QPixmapCache::insert(key, drawn);
        return drawn;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }

    QIconEngine *clone() const override { return new CommandIconEngine(m_command); }

    QString key() const override { return QStringLiteral("folvane-command"); }

private:
    Command m_command;
};

QIcon makeIcon(Command command)
{
    return QIcon(new CommandIconEngine(command));
}

std::array<QIcon, CommandCount> &icons()
{
    static std::array<QIcon, CommandCount> made;
    return made;
}

// Pixmaps must go before the application that made them.
void forgetIcons()
{
    icons().fill(QIcon());
}

} // namespace

QIcon CommandIcon(Command command)
{
    const auto i = std::size_t(command);
    if (i >= icons().size())
        return QIcon();
    if (icons()[i].isNull()) {
        static const bool forgetAtExit = [] {
            qAddPostRoutine(forgetIcons);
            return true;
        }();
        Q_UNUSED(forgetAtExit);
        icons()[i] = makeIcon(command);
    }
    return icons()[i];
}

void DrawFolderGlyph(QPainter &painter, const QRectF &rect, bool open)
{
    drawFolder(painter, rect, open);
}
