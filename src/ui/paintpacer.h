#pragma once

// Draws a window at most every so many milliseconds while a long command
// fills it. The command lets the window work every 6 ms, so that clicks,
// Stop and closing are answered at once; drawing the lists and the progress
// bar at each of those passes cost a search more than half of the window's
// thread, for changes no eye follows at that rate.
//
// What is held back is only the drawing: the widgets, their models and their
// geometry are up to date at every pass. When the pacer goes, a paint it held
// back is asked for again, so nothing is left undrawn.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QWidget;

namespace tarnwell {

class PaintPacer : public QObject {
public:
    explicit PaintPacer(QWidget& window, int intervalMs = 40);
    ~PaintPacer() override;
    PaintPacer(const PaintPacer&) = delete;
    PaintPacer& operator=(const PaintPacer&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void askForPaint();

    QPointer<QWidget> window_;
    int intervalMs_;
    QElapsedTimer sincePaint_;
    QBasicTimer held_;  // running while a paint is held back
};

}  // namespace tarnwell
