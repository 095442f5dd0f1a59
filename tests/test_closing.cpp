// Closing the window ends the program at once, so each case runs in a child:
// this executable again, told what to do by the environment, on a display
// server of the test's own. After a search and "Copy Results To Clipboard",
// closed while the box that says so is open, what the user copied outlives
// the program: on X11 the close hands the clipboard to the desktop's
// clipboard manager (here the smallest one that owns CLIPBOARD_MANAGER) or,
// where none runs, to a clipboard server; under sway, given real input by a
// virtual keyboard, to wl-copy. Under weston, which leaves the title bar to
// the client, the window comes up whole, keeps its size and offers nothing to
// maximise. Closing in the middle of a search is test_hang's.
#include <QAbstractButton>
#include <QApplication>
#include <QWindow>

#include "process/ending.h"
#include "support/displays.h"
#include "support/fakes.h"
#include "ui/titlebar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

constexpr char kChild[] = "TARNWELL_TEST_CLOSING";  // "window", or "copy:" and a folder

// In the child, under weston.
class WindowChecks : public QObject {
    Q_OBJECT
private slots:
    // Every control shows, inside the window. Qt draws no title bar of its
    // own, which would offer to maximise; the window's own offers to minimise
    // and to close, and nothing else. What the compositor is told: no size
    // but this one. (A maximise asked for here races Qt's answer to weston
    // 10's configure, which ends the client with a protocol error now and
    // then.)
    void comesUpWholeAndKeepsItsSize() {
        Harness h;
        h.form->showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        const QStringList names{"ListView1",    "ListView2",    "PushButton1",  "PushButton2",
                                "PushButton3",  "PushButton4",  "PushButton5",  "PushButton6",
                                "PushButton8",  "PushButton9",  "PushButton11", "PushButton14",
                                "PushButton17", "ProgressBar1", "TitleBar"};
        for (const QString& name : names) {
            const auto* control = h.form->findChild<QWidget*>(name);
            QVERIFY2(control && control->isVisible(), qPrintable(name));
            QVERIFY2(h.form->rect().contains(control->geometry()), qPrintable(name));
        }
        QCOMPARE(h.form->windowTitle(), QStringLiteral("Tarnwell"));
        QCOMPARE(h.form->windowHandle()->frameMargins(), QMargins());
        QStringList offered;
        for (const auto* button : h.form->findChild<TitleBar*>()->findChildren<QAbstractButton*>())
            offered << button->accessibleName();
        QCOMPARE(offered, QStringList({"Minimise", "Close"}));
        QCOMPARE(h.form->windowHandle()->minimumSize(), h.form->size());
        QCOMPARE(h.form->windowHandle()->maximumSize(), h.form->size());
    }
};

// In the child: a search, the copy, and the close while the box that says so
// is open, as the program ends it.
int searchCopyAndClose(const QString& folder) {
    QtClipboard clipboard;
    Harness h(QString(), &clipboard);
    h.services.endProgram = endProgramAtOnce;
    h.form->showCentred();
    if (!QTest::qWaitForWindowExposed(h.form.get()))
        return 10;
    // A Wayland compositor takes a selection only from a client that has had
    // input. sway adds wtype's keyboard to the seat at its first key; the
    // pause lets the window take the keyboard before the second.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        struct KeySeen : QObject {
            bool seen = false;
            bool eventFilter(QObject*, QEvent* e) override {
                seen |= e->type() == QEvent::KeyRelease;
                return false;
            }
        } keys;
        qApp->installEventFilter(&keys);
        QProcess wtype;
        wtype.start("wtype", {"-k", "Shift_L", "-s", "300", "-k", "Shift_L"});
        const bool keyed = QTest::qWaitFor([&] { return keys.seen; });
        wtype.waitForFinished();
        if (!keyed)
            return 11;
    }
    if (h.search({folder}).isEmpty())
        return 12;
    h.dialogs.whileOpen = [&](const Box&) { h.form->close(); };
    h.form->PushButton5_Click();
    return 13;  // never: closing ends the program
}

// A folder holding the one hidden file `name`, and the text a copy of it gives.
std::pair<QString, QByteArray> folderWith(const QTemporaryDir& dir, const char* name) {
    const QString folder = dir.path() + '/' + QString::number(QDir(dir.path()).count());
    makeTree(folder, {name});
    return {folder, QFile::encodeName(folder) + '/' + name + "\r\n"};
}

}  // namespace

class ClosingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void copiedTextOutlivesTheProgram() {
        XServer xvfb;
        QVERIFY(!xvfb.display().isEmpty());
        XConnection x(xvfb.display());
        QVERIFY(!xcb_connection_has_error(x.c));
        const xcb_atom_t manager = x.atom("CLIPBOARD_MANAGER"), save = x.atom("SAVE_TARGETS"),
                         clipboard = x.atom("CLIPBOARD"), utf8 = x.atom("UTF8_STRING");
        const xcb_window_t w = xcb_generate_id(x.c);
        xcb_create_window(x.c, 0, w, x.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0,
                          nullptr);
        xcb_set_selection_owner(x.c, w, manager, XCB_CURRENT_TIME);
        std::free(
            xcb_get_selection_owner_reply(x.c, xcb_get_selection_owner(x.c, manager), nullptr));

        const auto [folder, copied] = folderWith(dir, ".copied");
        QProcess child;
        startSelf(child, xvfb.clientEnvironment(), kChild, "copy:" + folder);
        int requests = 0;
        xcb_window_t requestor = 0;
        QByteArray saved;
        while (!child.waitForFinished(5) && child.state() == QProcess::Running) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(x.c)) {
                const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(e);
                if ((e->response_type & 0x7f) == XCB_SELECTION_REQUEST &&
                    request->selection == manager && request->target == save) {
                    ++requests;
                    requestor = request->requestor;
                    // Fetch the text, as a manager keeps it.
                    xcb_convert_selection(x.c, w, clipboard, utf8, utf8, request->time);
                } else if ((e->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                    auto* text = xcb_get_property_reply(
                        x.c, xcb_get_property(x.c, 1, w, utf8, XCB_ATOM_ANY, 0, 4096), nullptr);
                    saved = QByteArray(static_cast<const char*>(xcb_get_property_value(text)),
                                       xcb_get_property_value_length(text));
                    std::free(text);
                    char done[32] = {};  // events are sent as 32 bytes
                    *reinterpret_cast<xcb_selection_notify_event_t*>(done) = {
                        XCB_SELECTION_NOTIFY, 0, 0, 0, requestor, manager, save, save};
                    xcb_send_event(x.c, 0, requestor, XCB_EVENT_MASK_NO_EVENT, done);
                }
                std::free(e);
                xcb_flush(x.c);
            }
        }
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(requests, 1);
        QCOMPARE(saved, copied);

        // With the manager gone, a clipboard server keeps the text; the next
        // close's server replaces it.
        xcb_destroy_window(x.c, w);
        xcb_flush(x.c);
        for (const char* name : {".first", ".second \xc3\xa9"}) {
            const auto [folder, copied] = folderWith(dir, name);
            QProcess child;
            startSelf(child, xvfb.clientEnvironment(), kChild, "copy:" + folder);
            QCOMPARE(exitCodeOf(child), 0);
            QTRY_COMPARE(xvfb.clipboard(), copied);
        }
        QCOMPARE(xvfb.clients("xclip"), 1);
    }

    void underWestonTheWindowDrawsItsOwnTitleBar() {
        WaylandCompositor weston(WaylandCompositor::Weston);
        QVERIFY(!weston.display().isEmpty());
        QProcess child;
        startSelf(child, weston.clientEnvironment(), kChild, "window");
        QCOMPARE(exitCodeOf(child), 0);
    }

    void underSwayTheCopiedTextOutlivesTheWindow() {
        WaylandCompositor sway(WaylandCompositor::Sway);
        QVERIFY(!sway.display().isEmpty());
        const auto [folder, copied] = folderWith(dir, ".copied");
        QProcess child;
        startSelf(child, sway.clientEnvironment(), kChild, "copy:" + folder);
        QCOMPARE(exitCodeOf(child), 0);
        // wl-copy takes the clipboard once it has read the text, in its own time.
        QTRY_COMPARE(sway.clipboard(), copied);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable(kChild);
    if (child == "window") {
        WindowChecks checks;
        return QTest::qExec(&checks, argc, argv);
    }
    if (child.startsWith("copy:"))
        return searchCopyAndClose(child.mid(5));
    ClosingTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_closing.moc"
