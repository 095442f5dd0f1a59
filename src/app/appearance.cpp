#include "app/appearance.h"

#include "platform/pointer.h"
#include "platform/window.h"

namespace tarnwell {

void ApplySkin(Window& /*window*/) {}

void hoverOverButton(MousePointer& pointer) {
    if (pointer.busy())
        return;
    pointer.set(MousePointer::Custom);
}

void hoverOverStartButton(MousePointer& pointer) {
    pointer.set(MousePointer::Custom);
}

void hoverOverBareArea(MousePointer& pointer) {
    if (pointer.busy())
        return;
    pointer.set(MousePointer::Default);
}

}  // namespace tarnwell
