#pragma once

// Display servers of a test's own, headless: an X server, and a Wayland
// compositor. Each ends with its owner, and the clients left on it with it.
#include <xcb/xcb.h>
#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdint>

namespace tarnwell::test {

// This test executable again, as a child told by `variable` what to do
// (since closing the window ends the program), in `env`; its output is the
// test's.
void startSelf(QProcess& child, QProcessEnvironment env, const char* variable, const QString& what);
// The child's exit code once it has ended normally; -1 when it did not
// within `ms`.
int exitCodeOf(QProcess& child, int ms = 60000);

// A connection of the test's own to an X server.
struct XConnection {
    explicit XConnection(const QByteArray& display)
        : c(xcb_connect(display.constData(), nullptr)) {}
    ~XConnection() { xcb_disconnect(c); }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
    xcb_atom_t atom(const char* name) const;
    xcb_connection_t* c;
};

class XServer {
public:
    XServer();
    ~XServer();
    // ":N", or empty when Xvfb could not start.
    QByteArray display() const { return display_; }
    // What a client needs to reach it.
    QProcessEnvironment clientEnvironment() const;
    // The clipboard's text as another program pastes it.
    QByteArray clipboard() const;
    // The processes named `name` that were given this display.
    int clients(const char* name) const;
    // How many top-level windows are on the screen, whoever shows them; with
    // `askToClose`, each is asked to close, as a window manager's close
    // button does.
    int shownWindows(bool askToClose = false) const;

private:
    QProcess server_;
    QByteArray display_;
};

// A headless Wayland compositor: weston, which leaves title bars to its
// clients and has no seat; or sway, which decorates windows itself, takes
// input from a virtual keyboard (wtype) and lets wl-copy and wl-paste use the
// clipboard without a window. sway will not run as root, so as root it runs
// as nobody; its clients may still be root.
class WaylandCompositor {
public:
    enum Kind { Weston, Sway };
    explicit WaylandCompositor(Kind kind);
    ~WaylandCompositor();
    // The socket's path, empty when the compositor could not start.
    QByteArray display() const { return display_; }
    // What a client needs to reach it.
    QProcessEnvironment clientEnvironment() const;
    QByteArray clipboard() const;  // as wl-paste reads it

private:
    QTemporaryDir runtime_;
    QProcess server_;
    QByteArray display_;
};

}  // namespace tarnwell::test
