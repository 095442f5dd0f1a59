#include "platform/yield.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace tarnwell {

EventLoopYield::EventLoopYield(int intervalMs) : intervalMs_(intervalMs) {
    sinceLastPass_.start();
}

void Yield::waitUntil(const std::function<bool()>& ready) {
    while (!ready())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::function<void()> Yield::waker() {
    // Taken on the window's thread; waking it is safe from any other.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return [dispatcher] {
        if (dispatcher)
            dispatcher->wakeUp();
    };
}

void EventLoopYield::doEvents() {
    if (sinceLastPass_.elapsed() < intervalMs_)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceLastPass_.restart();
}

}  // namespace tarnwell
