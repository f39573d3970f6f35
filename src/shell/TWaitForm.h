#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

// The borderless "please wait" window shown while a scan or an export runs. It is made
// once, hidden, right after the main window, and reused for every long operation. The
// work runs on another thread, so the dialog paints itself through the event loop like
// any window; while visible it is modal to the main window, so the user cannot start
// a second operation, but the main window keeps repainting.
class TWaitForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int FrameCount = 30;

    explicit TWaitForm(QWidget *parent = nullptr);

    // show: bring the dialog up centred over the main window (or to the front when it
    // is already up) with the Cancel button shown as cancelVisible says, enabled again.
    // !show: hide it when it is visible, otherwise nothing.
    void ShowWait(bool show, bool cancelVisible);
    // The status line below the fixed message. Cheap enough for several calls a second:
    // a text equal to the current one costs a comparison, a long one is elided in the
    // middle so the end of a path stays readable. The text stays for the next use.
    void SetWaitText(const QString &text);

    QString waitText() const { return m_waitText; }
    int animationFrame() const { return m_frame; }
    bool isAnimating() const { return m_animation.isActive(); }

signals:
    // The user pressed Cancel; the button stays disabled until the next ShowWait(true, ...).
    void cancelRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SpeedButton1Click();
    void centreOverOwner();
    void paintAnimation();
    void showStatus();

    QWidget *Animate1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QTimer m_animation;
    int m_frame = 0;
    QString m_waitText;
};
