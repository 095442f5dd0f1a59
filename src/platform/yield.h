#pragma once

#include <QElapsedTimer>
#include <functional>

namespace tarnwell {

// DoEvents: lets the window handle what is pending (clicks, paints, a Stop)
// in the middle of a long command. Any handler may run inside it.
class Yield {
public:
    virtual ~Yield() = default;
    virtual void doEvents() = 0;

    // Lets the window work until `ready` holds, asleep while nothing
    // happens; a call of the function waker() gives, from any thread, gets it
    // to look again.
    virtual void waitUntil(const std::function<bool()>& ready);
    static std::function<void()> waker();
};

// Runs the event loop only when some 10 ms have passed since it last did: a
// pass per file would spend a million-file scan in the event loop (a pass
// repaints the lists, and painting is most of its cost), while 10 ms keeps
// the window answering within a frame and lets a Stop click land before the
// next file.
class EventLoopYield : public Yield {
public:
    explicit EventLoopYield(int intervalMs = 10);
    void doEvents() override;

private:
    QElapsedTimer sinceLastPass_;
    int intervalMs_;
};

}  // namespace tarnwell
