#pragma once

// Display servers of a test's own, headless: an X server, and a Wayland
// compositor. Each ends with its owner, and the clients left on it with it.
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdint>

namespace tarnwell::test {

// The processes named `name` whose environment has `variable` set to `value`.
int processesWith(const char* name, const QByteArray& variable, const QByteArray& value);

class XServer {
public:
    XServer();
    ~XServer();
    // ":N", or empty when Xvfb could not start.
    QByteArray display() const { return display_; }
    // The clipboard's text as another program pastes it.
    QByteArray clipboard() const;
    int clients(const char* name) const { return processesWith(name, "DISPLAY", display_); }
    // The top-level windows on the screen, whoever shows them.
    QList<std::uint32_t> shownWindows() const;
    // Asks a window to close, as a window manager's close button does.
    void askToClose(std::uint32_t window) const;

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
