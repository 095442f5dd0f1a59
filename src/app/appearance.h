#pragma once

namespace tarnwell {

class MousePointer;
struct Window;

// Gives the window its skin when the skin file is next to the program. Has no
// trap of its own: a failure ends it and start-up reports it.
void ApplySkin(Window& window);

// The hover family. Over a push button the pointer turns into the hand,
// unless a command is busy; the Start button's hand shows even then.
void hoverOverButton(MousePointer& pointer);
void hoverOverStartButton(MousePointer& pointer);
// Over the bare window area the arrow comes back, unless a command is busy.
void hoverOverBareArea(MousePointer& pointer);

}  // namespace tarnwell
