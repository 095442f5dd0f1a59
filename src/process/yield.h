#pragma once

#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

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

    // The passes of the event loop so far.
    std::uint64_t passes() const { return passes_; }
    // The passes so far in which the user could have started something: what
    // was read before the last one may have been changed by a handler since.
    virtual std::uint64_t turns() const { return passes_; }

    // Work for the end of every pass, once the window has handled what was
    // waiting: long work there (a paint) holds up no click that came before
    // it, and the pace of passes, counted from their starts, leaves less for
    // the walk after it. Gives back the work it replaces.
    std::function<void()> setPassEnd(std::function<void()> work) {
        return std::exchange(passEnd_, std::move(work));
    }

protected:
    // One pass of the event loop, counted, with the work for its end.
    void runPass(bool waitForEvents);
    void passBegins() { ++passes_; }
    void passEnds() {
        if (passEnd_)
            passEnd_();
    }

private:
    std::uint64_t passes_ = 0;
    std::function<void()> passEnd_;
};

// Runs `work` on a thread of its own while the window keeps working, and
// returns once it is done. For system calls on files the user chose, which a
// share that died may never answer: the window then still answers, and can
// be closed. `work` must not touch the window.
void runBesideTheWindow(Yield& yield, const std::function<void()>& work);

// Runs the event loop only when some 6 ms have passed since it last began
// to: a pass per file would spend a million-file scan in the event loop,
// while passes that start 6 ms apart let a Stop click land before the next
// file and keep the window answering within a frame. A pass that paints at
// its end takes its painting out of the walk's next 6 ms, not on top of
// them. Waiting for `ready` keeps the same pace: a wait that is answered
// between two passes costs no pass of its own.
class EventLoopYield : public Yield {
public:
    explicit EventLoopYield(int intervalMs = 6);
    void doEvents() override;
    bool due() const override { return sinceLastPass_.elapsed() >= intervalMs_; }
    void waitUntil(const std::function<bool()>& ready) override;
    std::function<void()> waker() override;
    // Only passes that delivered the user's input: a search that nobody
    // touches then checks no folder it read ahead, which on a share costs a
    // round trip each.
    std::uint64_t turns() const override { return turns_; }

private:
    struct Wakes;
    class InputWatch;
    void pass(bool waitForEvents);

    QElapsedTimer sinceLastPass_;
    int intervalMs_;
    std::shared_ptr<Wakes> wakes_;
    std::shared_ptr<InputWatch> input_;
    std::uint64_t turns_ = 0;
};

}  // namespace tarnwell
