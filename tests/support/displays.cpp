#include "support/displays.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/trees.h"

namespace tarnwell::test {

int XServer::clients(const char* name) const {
    int count = 0;
    const QByteArray wanted = "DISPLAY=" + display_;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile comm("/proc/" + pid + "/comm"), environ("/proc/" + pid + "/environ");
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name ||
            !environ.open(QIODevice::ReadOnly))
            continue;
        count += environ.readAll().split('\0').contains(wanted);
    }
    return count;
}

void startSelf(QProcess& child, QProcessEnvironment env, const char* variable,
               const QString& what) {
    env.insert(variable, what);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
}

int exitCodeOf(QProcess& child, int ms) {
    return child.waitForFinished(ms) && child.exitStatus() == QProcess::NormalExit
               ? child.exitCode()
               : -1;
}

XServer::XServer() {
    // -noreset: as on a desktop, where the window manager is still connected
    // when the program goes, so the server does not reset as its last client
    // leaves and refuse the clipboard server meanwhile.
    server_.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0",
                           "1280x1024x24"});
    if (server_.waitForStarted() && server_.waitForReadyRead(20000))
        display_ = ':' + server_.readAllStandardOutput().trimmed();
}

XServer::~XServer() {
    server_.terminate();
    server_.waitForFinished();
}

namespace {

struct XcbFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, XcbFree>;

QByteArray outputOf(const QProcessEnvironment& env, const QString& program,
                    const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(5000);
    return process.readAllStandardOutput();
}

}  // namespace

xcb_atom_t XConnection::atom(const char* name) const {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

int XServer::shownWindows(bool askToClose) const {
    XConnection x(display_);
    int shown = 0;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.root()), nullptr));
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t window = xcb_query_tree_children(tree.get())[i];
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        ++shown;
        if (!askToClose)
            continue;
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = x.atom("WM_PROTOCOLS");
        message.data.data32[0] = x.atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(x.c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_flush(x.c);
    return shown;
}

QProcessEnvironment XServer::clientEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    return env;
}

QByteArray XServer::clipboard() const {
    return outputOf(clientEnvironment(), "xclip", {"-o", "-selection", "clipboard"});
}

WaylandCompositor::WaylandCompositor(Kind kind) {
    const QString dir = runtime_.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("WAYLAND_DISPLAY");
    env.remove("DISPLAY");
    env.insert("XDG_RUNTIME_DIR", dir);
    QString socket = dir + "/tarnwell-test";
    if (kind == Weston) {
        server_.setProgram("weston");
        server_.setArguments({"--backend=headless-backend.so", "--socket=tarnwell-test",
                              "--width=1280", "--height=1024", "--idle-time=0"});
    } else {
        writeFile(QFile::encodeName(dir + "/config"),
                  "output * resolution 1280x1024\nxwayland disable\n");
        env.insert("WLR_BACKENDS", "headless");
        env.insert("WLR_RENDERER", "pixman");
        env.insert("HOME", dir);
        QStringList arguments{"sway", "-c", dir + "/config"};
        if (::geteuid() == 0) {
            for (const QString& mine : {dir, dir + "/config"})
                if (::chown(QFile::encodeName(mine).constData(), 65534, 65534) != 0)
                    return;
            arguments = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} +
                        arguments;
        }
        server_.setProgram(arguments.takeFirst());
        server_.setArguments(arguments);
        socket = dir + "/wayland-1";  // the first name sway tries
    }
    server_.setProcessEnvironment(env);
    server_.setStandardOutputFile(QProcess::nullDevice());
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start();
    if (server_.waitForStarted() &&
        QTest::qWaitFor(
            [&] { return QFile::exists(socket) || server_.state() != QProcess::Running; }, 20000) &&
        server_.state() == QProcess::Running)
        display_ = QFile::encodeName(socket);
}

WaylandCompositor::~WaylandCompositor() {
    server_.terminate();
    server_.waitForFinished();
}

QProcessEnvironment WaylandCompositor::clientEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.insert("WAYLAND_DISPLAY", display_);
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    env.insert("QT_QPA_PLATFORM", "wayland");
    return env;
}

QByteArray WaylandCompositor::clipboard() const {
    return outputOf(clientEnvironment(), "wl-paste", {"--no-newline"});
}

}  // namespace tarnwell::test
