#include "ui/paintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>
#include <QWidget>

namespace tarnwell {

// Qt draws a window when its top-level widget gets an UpdateRequest, and
// asks for no other until that one is handled: a request held back here must
// always be sent again, or the window would never be drawn again.
PaintPacer::PaintPacer(QWidget& window, int intervalMs)
    : window_(&window), intervalMs_(intervalMs) {
    window.installEventFilter(this);
}

PaintPacer::~PaintPacer() {
    if (!window_)
        return;
    window_->removeEventFilter(this);
    if (held_.isActive())
        askForPaint();
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::UpdateRequest || watched != window_)
        return QObject::eventFilter(watched, event);
    if (held_.isActive())
        return true;
    const qint64 left = sincePaint_.isValid() ? intervalMs_ - sincePaint_.elapsed() : 0;
    if (left > 0) {
        held_.start(int(left), Qt::PreciseTimer, this);
        return true;
    }
    sincePaint_.start();
    return false;
}

void PaintPacer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != held_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    held_.stop();
    sincePaint_.invalidate();  // the interval is over: let this one through
    askForPaint();
}

void PaintPacer::askForPaint() {
    if (window_)
        QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
}

}  // namespace tarnwell
