// Closing the window ends the program at once, so each case runs in a child:
// this executable again, told what to do by the environment. Mid-search, the
// close costs the user none of their files. After a copy, what the user
// copied outlives the program: the close hands the clipboard to the desktop's
// clipboard manager first, or, where none runs, to a clipboard server. That
// runs under an X server of the test's own, with the smallest manager that
// owns CLIPBOARD_MANAGER, and without one.
#include <xcb/xcb.h>
#include <QApplication>
#include <cstring>

#include "platform/ending.h"
#include "support/displays.h"
#include "support/fakes.h"
#include "support/results_support.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

constexpr char kChild[] = "TARNWELL_TEST_CLOSING";  // "copy:" and a text, or "search:" and a folder
constexpr int kCommandFinished = 3;

// The display, when one is given, is an X server for the child to use.
void startChild(QProcess& child, const QString& what, const QByteArray& display = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChild, what);
    if (!display.isEmpty()) {
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
    }
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
}

// In the child: the window closed at the 50th yield of a search, and the
// program ended as the program itself ends it.
int closeDuringSearch(const QString& folder) {
    Harness h(folder);
    h.services.endProgram = endProgramAtOnce;
    h.form->showCentred();
    h.yield.onYield = [&](int n) { n == 50 && h.form->close(); };
    h.searchList().Add(folder);
    h.form->PushButton1_Click();
    return kCommandFinished;
}

// In the child, on the test's X server: copy the results, then close the
// window while the box that says so is open, as the program ends.
int copyAndClose(const QByteArray& result) {
    QtClipboard clipboard;
    Harness h(QString(), true, &clipboard);
    h.services.endProgram = endProgramAtOnce;
    h.form->showCentred();
    h.results().Add(result);
    h.dialogs.whileOpen = [&](const Box&) { h.form->close(); };
    h.form->PushButton5_Click();
    return kCommandFinished;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = reply->atom;
    std::free(reply);
    return a;
}

}  // namespace

class ClosingTest : public QObject {
    Q_OBJECT
private slots:
    // Closing the window ends the program at once, in the middle of a
    // search, and costs the user none of their files.
    void closingMidSearchEndsAtOnce() {
        QTemporaryDir dir;
        for (int i = 0; i < 200; ++i)
            makeTree(dir.path(), {qPrintable(QString("%1/.h%2").arg(i % 10).arg(i))});
        const QStringList before = filesUnder(dir.path());
        QProcess child;
        startChild(child, "search:" + dir.path());
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);  // not kCommandFinished: the close ended it
        QCOMPARE(filesUnder(dir.path()), before);
    }
    void copiedTextOutlivesTheProgram() {
        XServer xvfb;
        const QByteArray display = xvfb.display();
        QVERIFY(!display.isEmpty());
        xcb_connection_t* c = xcb_connect(display.constData(), nullptr);
        QVERIFY(!xcb_connection_has_error(c));
        const xcb_atom_t manager = atom(c, "CLIPBOARD_MANAGER"), save = atom(c, "SAVE_TARGETS"),
                         clipboard = atom(c, "CLIPBOARD"), utf8 = atom(c, "UTF8_STRING");
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, 0, w, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 0, 0, 1,
                          1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
        xcb_set_selection_owner(c, w, manager, XCB_CURRENT_TIME);
        std::free(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, manager), nullptr));

        QProcess child;
        startChild(child, "copy:/home/u/.copied", display);
        int requests = 0;
        xcb_window_t requestor = 0;
        QByteArray saved;
        while (!child.waitForFinished(5) && child.state() == QProcess::Running) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(e);
                if ((e->response_type & 0x7f) == XCB_SELECTION_REQUEST &&
                    request->selection == manager && request->target == save) {
                    ++requests;
                    requestor = request->requestor;
                    // Fetch the text, as a manager keeps it.
                    xcb_convert_selection(c, w, clipboard, utf8, utf8, request->time);
                } else if ((e->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                    auto* text = xcb_get_property_reply(
                        c, xcb_get_property(c, 1, w, utf8, XCB_ATOM_ANY, 0, 4096), nullptr);
                    saved = QByteArray(static_cast<const char*>(xcb_get_property_value(text)),
                                       xcb_get_property_value_length(text));
                    std::free(text);
                    char done[32] = {};  // events are sent as 32 bytes
                    *reinterpret_cast<xcb_selection_notify_event_t*>(done) = {
                        XCB_SELECTION_NOTIFY, 0, 0, 0, requestor, manager, save, save};
                    xcb_send_event(c, 0, requestor, XCB_EVENT_MASK_NO_EVENT, done);
                }
                std::free(e);
                xcb_flush(c);
            }
        }
        xcb_disconnect(c);
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(requests, 1);
        QCOMPARE(saved, QByteArray("/home/u/.copied\r\n"));
    }

    // No manager: a clipboard server keeps the text; the next close's server
    // replaces it.
    void copiedTextOutlivesTheProgramWithoutAManager() {
        XServer xvfb;
        QVERIFY(!xvfb.display().isEmpty());
        for (const char* result : {"/home/u/.first", "/home/u/.second \xc3\xa9"}) {
            QProcess child;
            startChild(child, QString::fromUtf8("copy:") + QString::fromUtf8(result),
                       xvfb.display());
            QVERIFY(child.waitForFinished(20000));
            QCOMPARE(child.exitCode(), 0);
            QTRY_COMPARE(xvfb.clipboard(), QByteArray(result) + "\r\n");
        }
        QCOMPARE(xvfb.clients("xclip"), 1);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable(kChild);
    if (child.startsWith("copy:"))
        return copyAndClose(child.mid(5).toUtf8());
    if (child.startsWith("search:"))
        return closeDuringSearch(child.mid(7));
    ClosingTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_closing.moc"
