#include "desktop/clipboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fs/descriptor.h"
#include "fs/files.h"
#include "system/spawn.h"

namespace tarnwell {

bool QtClipboard::clear() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    return true;
}

bool QtClipboard::setText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return true;
}

namespace {

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

bool selectionHasOwner(xcb_connection_t* connection, xcb_atom_t selection) {
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

// Ends the wait when the manager's answer reaches the window that asked.
class AnswerWatch : public QAbstractNativeEventFilter {
public:
    AnswerWatch(xcb_window_t requestor, QEventLoop& loop) : requestor_(requestor), loop_(loop) {}
    bool answered() const { return answered_; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY ||
            static_cast<const xcb_selection_notify_event_t*>(message)->requestor != requestor_)
            return false;
        answered_ = true;
        loop_.quit();
        return true;
    }

private:
    xcb_window_t requestor_;
    QEventLoop& loop_;
    bool answered_ = false;
};

}  // namespace

bool handClipboardToManager(std::chrono::milliseconds limit) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!x11 || !clipboard || !clipboard->ownsClipboard())
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t manager = atomNamed(connection, "CLIPBOARD_MANAGER");
    const xcb_atom_t saveTargets = atomNamed(connection, "SAVE_TARGETS");
    if (manager == XCB_ATOM_NONE || saveTargets == XCB_ATOM_NONE ||
        !selectionHasOwner(connection, manager))
        return false;

    // The window goes from the screen at once; the program only lives on to
    // serve the manager's requests for the clipboard's content.
    for (QWindow* window : QGuiApplication::topLevelWindows())
        if (window->handle())
            xcb_unmap_window(connection, xcb_window_t(window->winId()));
    const xcb_window_t requestor = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, requestor,
                      xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    // No property: the manager is to save every target the clipboard offers.
    xcb_convert_selection(connection, requestor, manager, saveTargets, XCB_NONE, XCB_CURRENT_TIME);
    xcb_flush(connection);

    // The requests reach Qt's own clipboard window, which answers them as
    // events are processed. The user's input waits: no command may start.
    QEventLoop loop;
    AnswerWatch watch(requestor, loop);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    qGuiApp->installNativeEventFilter(&watch);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    qGuiApp->removeNativeEventFilter(&watch);
    xcb_destroy_window(connection, requestor);
    xcb_flush(connection);
    return watch.answered();
}

namespace {

// The server for the session the window is on; none offscreen.
std::vector<const char*> clipboardServer() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return {"wl-copy", "--type", "text/plain;charset=utf-8", nullptr};
    if (platform == QLatin1String("xcb"))
        return {"xclip", "-selection", "clipboard", nullptr};
    return {};
}

}  // namespace

bool handClipboardToServer() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !clipboard->ownsClipboard())
        return false;
    std::vector<const char*> command = clipboardServer();
    const QMimeData* data = clipboard->mimeData();
    if (command.empty() || !data || !data->hasText())
        return false;
    // In memory rather than through a pipe, so that the text of a million
    // results need not wait for the server to read it before this ends.
    Descriptor input(::memfd_create("tarnwell-clipboard", MFD_CLOEXEC));
    if (!input || writeAll(input.get(), data->text().toUtf8()) != 0 ||
        ::lseek(input.get(), 0, SEEK_SET) != 0)
        return false;
    // Not the window's connection, nor a descriptor a stuck reader holds:
    // the spawn closes every descriptor but the three streams.
    return spawnProgram(command[0], command.data(), {input.get(), -1, STDERR_FILENO}) > 0;
}

}  // namespace tarnwell
