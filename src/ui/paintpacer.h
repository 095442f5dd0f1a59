#pragma once

// Draws a window at most every so many milliseconds while a long command
// fills it. The command lets the window work every 6 ms, so that clicks,
// Stop and closing are answered at once; drawing the lists and the progress
// bar at each of those passes cost a search more than half of the window's
// thread, for changes no eye follows at that rate.
//
// The drawing is done at the end of a pass, after the clicks and keys that
// were waiting: drawn at its start, as Qt would, it came on top of the
// command's work since the last pass, and the window answered late by as
// much as it took. When no pass comes in time (a box is open, or the command
// waits), a timer draws it.
//
// What is held back is only the drawing: the widgets, their models and their
// geometry are up to date at every pass. When the pacer goes, a paint it held
// back is asked for again, so nothing is left undrawn.

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace tarnwell {

class Yield;

class PaintPacer : public QObject {
public:
    PaintPacer(QWidget& window, Yield& yield, int intervalMs = 40);
    ~PaintPacer() override;
    PaintPacer(const PaintPacer&) = delete;
    PaintPacer& operator=(const PaintPacer&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void paintIfDue();
    void paintNow();

    QPointer<QWidget> window_;
    Yield& yield_;
    std::function<void()> previousPassEnd_;
    int intervalMs_;
    bool pending_ = false;  // a paint Qt asked for and was not given yet
    QElapsedTimer sincePaint_;
    QBasicTimer held_;  // running while a paint is pending
};

}  // namespace tarnwell
