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

}  // namespace tarnwell::test
