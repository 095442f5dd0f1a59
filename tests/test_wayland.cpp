// The window as a native Wayland client, on compositors of the test's own.
// Under weston, which leaves the title bar to the client, the window comes up
// whole, keeps its size and offers nothing to maximise. Under sway, given
// real input by a virtual keyboard, a search and "Copy Results To Clipboard"
// work, and what was copied outlives the window. Each runs in a child, this
// executable again on the compositor, since the window's checks need the
// Wayland platform and closing ends the program.
#include <QAbstractButton>
#include <QApplication>
#include <QWindow>

#include "platform/ending.h"
#include "support/displays.h"
#include "support/fakes.h"
#include "support/results_support.h"
#include "ui/listcontrol.h"
#include "ui/titlebar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

constexpr char kChild[] = "TARNWELL_TEST_WAYLAND";  // "window", or "copy:" and a folder

int runChild(const WaylandCompositor& compositor, const QString& what) {
    QProcess child;
    QProcessEnvironment env = compositor.clientEnvironment();
    env.insert(kChild, what);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
    return child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit
               ? child.exitCode()
               : -1;
}

// In the child, under weston.
class WindowChecks : public QObject {
    Q_OBJECT
    Harness h;

private slots:
    void initTestCase() {
        h.form->showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
    }

    void comesUpWithEveryControl() {
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
    }

    // Qt draws no title bar of its own, which would offer to maximise; the
    // window's own offers to minimise and to close, and nothing else.
    void offersNothingToMaximise() {
        QCOMPARE(h.form->windowHandle()->frameMargins(), QMargins());
        QStringList offered;
        for (const auto* button : h.form->findChild<TitleBar*>()->findChildren<QAbstractButton*>())
            offered << button->accessibleName();
        QCOMPARE(offered, QStringList({"Minimise", "Close"}));
    }

    // What the compositor is told: no size but this one. (A maximise asked
    // for here races Qt's answer to weston 10's configure, which ends the
    // client with a protocol error now and then.)
    void keepsItsSize() {
        const QSize size = h.form->size();
        QCOMPARE(h.form->windowHandle()->minimumSize(), size);
        QCOMPARE(h.form->windowHandle()->maximumSize(), size);
    }
};

// In the child, under sway: a key from the virtual keyboard, a search, the
// copy, and the close while the box that says so is open.
int searchCopyAndClose(const QString& folder) {
    QtClipboard clipboard;
    Harness h(QString(), true, &clipboard);
    h.services.endProgram = endProgramAtOnce;
    h.form->showCentred();
    if (!QTest::qWaitForWindowExposed(h.form.get()))
        return 10;
    // A compositor takes a selection only from a client that has had input.
    struct KeySeen : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override {
            seen |= e->type() == QEvent::KeyRelease;
            return false;
        }
    } keys;
    qApp->installEventFilter(&keys);
    // sway adds wtype's keyboard to the seat at its first key; the pause lets
    // the window take the keyboard before the second.
    QProcess wtype;
    wtype.start("wtype", {"-k", "Shift_L", "-s", "300", "-k", "Shift_L"});
    const bool keyed = QTest::qWaitFor([&] { return keys.seen; });
    wtype.waitForFinished();
    if (!keyed)
        return 11;
    h.searchList().Add(folder);
    h.form->PushButton1_Click();
    if (h.results().Count() != 2)
        return 12;
    h.dialogs.whileOpen = [&](const Box&) { h.form->close(); };
    h.form->PushButton5_Click();
    return 13;  // never: closing ends the program
}

}  // namespace

class WaylandTest : public QObject {
    Q_OBJECT
private slots:
    void underWestonTheWindowDrawsItsOwnTitleBar() {
        WaylandCompositor weston(WaylandCompositor::Weston);
        QVERIFY(!weston.display().isEmpty());
        QCOMPARE(runChild(weston, "window"), 0);
    }

    void underSwayASearchIsCopiedAndOutlivesTheWindow() {
        WaylandCompositor sway(WaylandCompositor::Sway);
        QVERIFY(!sway.display().isEmpty());
        QTemporaryDir dir;
        makeTree(dir.path(), {".one", "b/.two", "b/three"});
        QCOMPARE(runChild(sway, "copy:" + dir.path()), 0);
        // wl-copy takes the clipboard once it has read the text, in its own time.
        QTRY_VERIFY(!sway.clipboard().isEmpty());
        QByteArrayList lines = sway.clipboard().split('\n');
        std::sort(lines.begin(), lines.end());
        const QByteArray root = QFile::encodeName(dir.path());
        QCOMPARE(lines, QByteArrayList({"", root + "/.one\r", root + "/b/.two\r"}));
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
    WaylandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_wayland.moc"
