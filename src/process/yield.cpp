#include "process/yield.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarnwell {

// Wake-ups from other threads for a wait between two passes.
struct EventLoopYield::Wakes {
    std::mutex mutex;
    std::condition_variable woken;
    bool pending = false;
};

// Counts the events through which the user can start a handler: clicks,
// keys, drops, a close.
class EventLoopYield::InputWatch : public QObject {
public:
    std::uint64_t seen = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::Drop:
            case QEvent::ContextMenu:
            case QEvent::InputMethod:
            case QEvent::Close:
                ++seen;
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }
};

EventLoopYield::EventLoopYield(int intervalMs)
    : intervalMs_(intervalMs),
      wakes_(std::make_shared<Wakes>()),
      input_(std::make_shared<InputWatch>()) {
    sinceLastPass_.start();
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(input_.get());
}

void Yield::runPass(bool waitForEvents) {
    passBegins();
    QCoreApplication::processEvents(waitForEvents
                                        ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                        : QEventLoop::AllEvents);
    passEnds();
}

void Yield::waitUntil(const std::function<bool()>& ready) {
    while (!ready()) runPass(true);
}

std::function<void()> Yield::waker() {
    // Taken on the window's thread; waking it is safe from any other.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return [dispatcher] {
        if (dispatcher)
            dispatcher->wakeUp();
    };
}

void EventLoopYield::pass(bool waitForEvents) {
    sinceLastPass_.restart();
    const std::uint64_t before = input_->seen;
    runPass(waitForEvents);
    if (input_->seen != before)
        ++turns_;
}

void EventLoopYield::doEvents() {
    if (due())
        pass(false);
}

void EventLoopYield::waitUntil(const std::function<bool()>& ready) {
    while (!ready()) {
        // A pass when one is due, asleep in the event loop until something
        // happens; between passes, asleep until woken or the next is due.
        const qint64 left = intervalMs_ - sinceLastPass_.elapsed();
        if (left <= 0) {
            pass(true);
            continue;
        }
        std::unique_lock lock(wakes_->mutex);
        wakes_->woken.wait_for(lock, std::chrono::milliseconds(left),
                               [&] { return wakes_->pending; });
        wakes_->pending = false;
    }
}

std::function<void()> EventLoopYield::waker() {
    std::function<void()> wakeLoop = Yield::waker();
    return [wakes = wakes_, wakeLoop] {
        {
            std::lock_guard lock(wakes->mutex);
            wakes->pending = true;
        }
        wakes->woken.notify_one();
        wakeLoop();
    };
}

void runBesideTheWindow(Yield& yield, const std::function<void()>& work) {
    // The thread still wakes the window after the wait may have ended: it
    // holds its own share of the flag and its own waker.
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done, &work, wake = yield.waker()] {
        work();
        done->store(true, std::memory_order_release);
        wake();
    }).detach();
    // `work` is waited for to the end, so the reference stays good.
    yield.waitUntil([&] { return done->load(std::memory_order_acquire); });
}

}  // namespace tarnwell
