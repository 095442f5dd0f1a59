#pragma once

#include <QCursor>
#include <optional>

class QWidget;

namespace tarnwell {

class ErrorTrap;

// The main window's pointer setting, MousePointer. Besides choosing the shape
// it is the busy flag: 11 while a long command runs, and nothing else records
// that a command is running.
class MousePointer {
public:
    static constexpr int Default = 0;
    static constexpr int Busy = 11;
    static constexpr int Custom = 99;

    explicit MousePointer(QWidget& window) : window_(window) {}

    int value() const { return value_; }
    void set(int value);
    bool busy() const { return value_ == Busy; }

    // The image shown for Custom (MouseIcon); without one Custom shows the arrow.
    void setCustomImage(const QCursor& cursor);
    bool hasCustomImage() const { return custom_.has_value(); }

private:
    void apply();

    QWidget& window_;
    int value_ = Default;
    std::optional<QCursor> custom_;
};

// The busy pointer of one long command, which keeps the other commands out
// while it runs: Busy at the statement `busyLine`, and back to Default at
// `restoreLine` when the guard ends, or before at end(), whatever failed in
// between, so that a failure never leaves the window busy.
class BusyPointer {
public:
    BusyPointer(MousePointer& pointer, ErrorTrap& trap, int busyLine, int restoreLine);
    ~BusyPointer() { end(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

    void end();

private:
    MousePointer& pointer_;
    ErrorTrap& trap_;
    int restoreLine_;
    bool ended_ = false;
};

}  // namespace tarnwell
