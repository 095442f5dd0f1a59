#pragma once

#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <memory>

namespace tarnwell {

// DoEvents: lets the window handle what is pending (clicks, paints, a Stop)
// in the middle of a long command. Any handler may run inside it.
class Yield {
public:
    virtual ~Yield() = default;
    virtual void doEvents() = 0;
    // Whether doEvents() would let the window work now. A loop that yields
    // per item asks this first, so that its turns without a pass cost no
    // more than a look at the clock.
    virtual bool due() const { return true; }

    // Lets the window work until `ready` holds, asleep while nothing
    // happens; a call of the function waker() gives, from any thread, gets it
    // to look again.
    virtual void waitUntil(const std::function<bool()>& ready);
    virtual std::function<void()> waker();

    // The passes of the event loop so far: what was read before the last
    // one may have been changed by a handler since.
    std::uint64_t passes() const { return passes_; }

protected:
    void countPass() { ++passes_; }

private:
    std::uint64_t passes_ = 0;
};

// Runs the event loop only when some 6 ms have passed since it last began
// to: a pass per file would spend a million-file scan in the event loop,
// while passes that start 6 ms apart let a Stop click land before the next
// file and keep the window answering within a frame even when a pass also
// paints, which on a busy machine takes up to ten more. Waiting for `ready`
// keeps the same pace: a wait that is answered between two passes costs no
// pass of its own.
class EventLoopYield : public Yield {
public:
    explicit EventLoopYield(int intervalMs = 6);
    void doEvents() override;
    bool due() const override { return sinceLastPass_.elapsed() >= intervalMs_; }
    void waitUntil(const std::function<bool()>& ready) override;
    std::function<void()> waker() override;

private:
    struct Wakes;
    void pass(bool waitForEvents);

    QElapsedTimer sinceLastPass_;
    int intervalMs_;
    std::shared_ptr<Wakes> wakes_;
};

}  // namespace tarnwell
