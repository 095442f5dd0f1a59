#include "ui/pointer.h"

#include <QWidget>

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

}  // namespace tarnwell
