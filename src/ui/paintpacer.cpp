#include "ui/paintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>
#include <QWidget>
#include <algorithm>

#include "process/yield.h"

namespace tarnwell {

namespace {
// Set while a pacer draws, so that the pacers of runs nested inside one
// another let that paint through rather than each holding it again.
bool pacerPainting = false;
}  // namespace

// Qt draws a window when its top-level widget gets an UpdateRequest, and
// asks for no other until that one is handled: a request held back here must
// always be answered, or the window would never be drawn again.
PaintPacer::PaintPacer(QWidget& window, Yield& yield, int intervalMs)
    : window_(&window), yield_(yield), intervalMs_(intervalMs) {
    window.installEventFilter(this);
    previousPassEnd_ = yield_.setPassEnd([this] { paintIfDue(); });
}

PaintPacer::~PaintPacer() {
    yield_.setPassEnd(std::move(previousPassEnd_));
    if (!window_)
        return;
    window_->removeEventFilter(this);
    if (pending_)
        QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::UpdateRequest || watched != window_ || pacerPainting)
        return QObject::eventFilter(watched, event);
    pending_ = true;
    if (!held_.isActive()) {
        // A pass's end is the better time to draw: the timer leaves one time
        // to come first, and draws only when none does.
        const qint64 left = sincePaint_.isValid() ? intervalMs_ - sincePaint_.elapsed() : 0;
        held_.start(int(std::max<qint64>(left, 0) + intervalMs_ / 4), Qt::PreciseTimer, this);
    }
    return true;
}

void PaintPacer::paintIfDue() {
    if (pending_ && (!sincePaint_.isValid() || sincePaint_.elapsed() >= intervalMs_))
        paintNow();
    if (previousPassEnd_)
        previousPassEnd_();
}

// No pass came to draw it in time.
void PaintPacer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != held_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    paintNow();
}

void PaintPacer::paintNow() {
    held_.stop();
    pending_ = false;
    sincePaint_.start();
    if (!window_)
        return;
    pacerPainting = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    pacerPainting = false;
}

}  // namespace tarnwell
