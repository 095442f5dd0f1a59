#pragma once

namespace tarnwell {

// Whether the window system puts a title bar on the program's window. An X11
// window manager does, and so does a Wayland compositor that offers to
// decorate windows itself (xdg-decoration: KDE Plasma, sway and others).
// Where a compositor does not (GNOME's, weston), Qt would draw a title bar of
// its own, with a maximise button whatever the window's flags say; the
// window then draws its own instead.
bool windowSystemDrawsTitleBar();

}  // namespace tarnwell
