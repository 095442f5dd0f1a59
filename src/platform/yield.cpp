#include "platform/yield.h"

#include <QCoreApplication>

namespace tarnwell {

EventLoopYield::EventLoopYield(int intervalMs) : intervalMs_(intervalMs) {
    sinceLastPass_.start();
}

void EventLoopYield::doEvents() {
    if (sinceLastPass_.elapsed() < intervalMs_)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceLastPass_.restart();
}

}  // namespace tarnwell
