#pragma once

#include <QCursor>
#include <optional>

class QWidget;

namespace tarnwell {

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

}  // namespace tarnwell
