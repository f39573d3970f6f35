#include "TWaitForm.h"

#include "CommandIcons.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include <cmath>

namespace {

constexpr int ClientWidth = 376;
constexpr int ClientHeight = 84;
constexpr int FrameMilliseconds = 70;

} // namespace

TWaitForm::TWaitForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("WaitForm"));
    setFixedSize(ClientWidth, ClientHeight);
    // Without an owner there is no main window to block but the whole application.
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setAutoFillBackground(true);

    Animate1 = new QWidget(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(8, 8, 80, 50);
    Animate1->installEventFilter(this);

    Label1 = new QLabel(QStringLiteral("This will take a few minutes.Please be patient..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The message stays on one line: with a desktop font larger than the dialog was
    // laid out for, the dialog grows instead of wrapping it onto the status line.
    const int textWidth = Label1->fontMetrics().horizontalAdvance(Label1->text()) + 4;
    const int width = std::max(ClientWidth, 98 + textWidth + 8);
    setFixedSize(width, ClientHeight);
    Label1->setGeometry(98, 8, width - 106, 20);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(98, 32, width - 106, 18);
    Label2->setAlignment(Qt::AlignCenter);
    m_waitText = QStringLiteral("...");
    showStatus();

    SpeedButton1 = new QPushButton(QStringLiteral("Cancel"), this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry((98 + width - 8) / 2 - 48, 54, 97, 25);
    SpeedButton1->setFlat(true);
    SpeedButton1->setAutoDefault(false);
    SpeedButton1->setVisible(false);
    connect(SpeedButton1, &QPushButton::clicked, this, &TWaitForm::SpeedButton1Click);

    m_animation.setInterval(FrameMilliseconds);
    connect(&m_animation, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % FrameCount;
        Animate1->update();
    });
}

void TWaitForm::ShowWait(bool show, bool cancelVisible)
{
    if (!show) {
        if (isVisible())
            hide();
        return;
    }
    SpeedButton1->setVisible(cancelVisible);
    SpeedButton1->setEnabled(true);
    if (!isVisible()) {
        centreOverOwner();
        this->show();
    }
    raise();
    activateWindow();
}

void TWaitForm::SetWaitText(const QString &text)
{
    if (text == m_waitText)
        return;
    m_waitText = text;
    showStatus();
}

void TWaitForm::showStatus()
{
    const QString shown = Label2->fontMetrics().elidedText(m_waitText, Qt::ElideMiddle, Label2->width());
    if (shown != Label2->text())
        Label2->setText(shown);
    Label2->setToolTip(shown == m_waitText ? QString() : m_waitText);
}

void TWaitForm::SpeedButton1Click()
{
    SpeedButton1->setEnabled(false);
    emit cancelRequested();
}

void TWaitForm::closeEvent(QCloseEvent *event)
{
    // Closed through the window manager (or Alt+F4): the dialog is the only place
    // where the work shows its progress, so it stays until the work ends. A scan
    // is cancelled as Cancel would; an export cannot be and runs on.
    event->ignore();
    if (SpeedButton1->isVisible() && SpeedButton1->isEnabled())
        SpeedButton1Click();
}

void TWaitForm::centreOverOwner()
{
    QRect over;
    if (QWidget *owner = parentWidget())
        over = owner->window()->frameGeometry();
    if (!over.isValid() || over.isEmpty()) {
        if (QScreen *screen = QGuiApplication::primaryScreen())
            over = screen->availableGeometry();
    }
    if (over.isValid())
        move(over.center() - QPoint(width() / 2, height() / 2));
}

// Without a window frame the dialog needs its own edge to stand out from the window below.
void TWaitForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TWaitForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_animation.start();
}

void TWaitForm::hideEvent(QHideEvent *event)
{
    m_animation.stop();
    QWidget::hideEvent(event);
}

bool TWaitForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Animate1 && event->type() == QEvent::Paint) {
        paintAnimation();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// A folder, and a magnifier sweeping over it in a slow ellipse.
void TWaitForm::paintAnimation()
{
    QPainter p(Animate1);
    p.setRenderHint(QPainter::Antialiasing);

    // The folder of the Open Folder icon, so the two read as one program.
    DrawFolderGlyph(p, QRectF(14, 12, 48, 34), false);

    // The magnifier, one lap of the ellipse per FrameCount frames.
    const double angle = 2.0 * M_PI * double(m_frame) / double(FrameCount);
    const QPointF centre(38.0 + 16.0 * std::cos(angle), 26.0 + 8.0 * std::sin(angle));
    const double radius = 8.5;
    const QPointF handleStart = centre + QPointF(radius * 0.7, radius * 0.7);
    p.setPen(QPen(QColor(0x3B, 0x47, 0x53), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(handleStart, handleStart + QPointF(8, 8));
    p.setPen(QPen(QColor(0x3B, 0x47, 0x53), 2.5));
    p.setBrush(QColor(0xCF, 0xE8, 0xFF, 0xB0));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 0xD0), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(centre.x() - radius + 3, centre.y() - radius + 3, 2 * radius - 6, 2 * radius - 6),
        100 * 16, 70 * 16);
}
