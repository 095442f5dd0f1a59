#include "ui/pointer.h"

#include <QWidget>
#include <utility>

#include "errors/errortrap.h"

namespace tarnwell {

void MousePointer::set(int value) {
    value_ = value;
    apply();
}

void MousePointer::setCustomImage(const QCursor& cursor) {
    custom_ = cursor;
    apply();
}

void MousePointer::apply() {
    switch (value_) {
        case Busy:
            window_.setCursor(Qt::WaitCursor);
            break;
        case Custom:
            if (custom_)
                window_.setCursor(*custom_);
            else
                window_.unsetCursor();
            break;
        default:
            window_.unsetCursor();
            break;
    }
}

BusyPointer::BusyPointer(MousePointer& pointer, ErrorTrap& trap, int busyLine, int restoreLine)
    : pointer_(pointer), trap_(trap), restoreLine_(restoreLine) {
    trap_.run(busyLine, [&] { pointer_.set(MousePointer::Busy); });
}

void BusyPointer::end() {
    if (!std::exchange(ended_, true))
        trap_.run(restoreLine_, [&] { pointer_.set(MousePointer::Default); });
}

}  // namespace tarnwell
