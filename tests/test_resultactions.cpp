// Acting on one result: why it is hidden, its folder in the file manager,
// its path on the clipboard.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QtTest>

#include "platform/filemanager.h"
#include "platform/hiddenreason.h"
#include "results/resultactions.h"
#include "support/fakes.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::test;

// Stands in for the desktop's file manager on the test's private bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString& /*startupId*/) { shown += uris; }
};

class ResultActionsTest : public QObject {
    Q_OBJECT
private slots:
    void toolTipSaysWhyAFileIsHidden() {
        Harness h;
        ListControl& results = h.results();
        results.Add(QByteArray("/d/.profile"), HiddenReason::DotName);
        results.Add(QByteArray("/d/listed"), HiddenReason::HiddenList);
        results.Add(QByteArray("/mnt/win/pagefile.sys"),
                    HiddenReason::DosAttribute | HiddenReason::DosSystem);
        results.Add(QByteArray("/mnt/win/desktop.ini"), HiddenReason::DosAttribute);
        QCoreApplication::processEvents();
        const auto tip = [&](int row) {
            return results.model()
                ->data(results.model()->index(row, 0), Qt::ToolTipRole)
                .toString();
        };
        const QString listTip = results.toolTip();
        QCOMPARE(tip(0), listTip + "\nHidden: name begins with a dot");
        QCOMPARE(tip(1), listTip + "\nHidden: listed in .hidden");
        QCOMPARE(tip(2), listTip + "\nHidden: Hidden and System attributes set");
        QCOMPARE(tip(3), listTip + "\nHidden: Hidden attribute set");
    }

    void copyPathPutsOnePathOnTheClipboard() {
        Harness h;
        const QByteArray raw("/data/caf\xe9/.notes");  // Latin-1 bytes, not UTF-8
        h.results().Add(raw, HiddenReason::DotName);
        copyResultPath(h.form->window(), h.results().Bytes(1));
        QCOMPARE(h.clipboard.text, h.results().Text(1));
        QCOMPARE(h.clipboard.sets, 1);
        QVERIFY(h.dialogs.boxes.empty());
    }

    void fileUriKeepsTheExactBytes() {
        QCOMPARE(fileUri("/data/caf\xe9/a b.txt"), QStringLiteral("file:///data/caf%E9/a%20b.txt"));
    }

    void openContainingFolderAsksTheFileManager() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no private session bus (dbus-daemon missing)");
        QDBusConnection service = QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("fake-file-manager"));
        FakeFileManager fm;
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fm,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));

        Harness h;
        openContainingFolder(h.form->window(), QByteArray("/home/u/caf\xe9/.secret"));
        QTRY_COMPARE(fm.shown, QStringList{QStringLiteral("file:///home/u/caf%E9/.secret")});
        QTest::qWait(50);
        QVERIFY(h.shell.openedFolders.empty());

        service.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-file-manager"));
    }

    void withoutAFileManagerTheFolderOpens() {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no private session bus (dbus-daemon missing)");
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.FileManager1")));
        Harness h;
        openContainingFolder(h.form->window(), QByteArray("/home/u/docs/.secret"));
        QTRY_COMPARE(h.shell.openedFolders, std::vector<QString>{QStringLiteral("/home/u/docs")});
    }

    void menuActsOnTheEntryUnderThePointer() {
        Harness h;
        h.form->show();
        h.results().Add(QByteArray("/a/.one"), HiddenReason::DotName);
        h.results().Add(QByteArray("/a/.two"), HiddenReason::DotName);
        QCoreApplication::processEvents();
        const QPoint second = h.results().visualRect(h.results().model()->index(1, 0)).center();
        h.form->ListView2_ContextMenu(second);
        auto* menu = h.results().findChild<QMenu*>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Open Containing Folder"));
        QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Copy Path"));
        h.results().Clear();  // the entry may vanish while the menu is open
        menu->actions()[1]->trigger();
        QCOMPARE(h.clipboard.text, QStringLiteral("/a/.two"));
    }
};

int main(int argc, char** argv) {
    // A private session bus, so the test never talks to a real desktop.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    if (daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000))
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    int rc;
    {
        QApplication app(argc, argv);
        ResultActionsTest test;
        rc = QTest::qExec(&test, argc, argv);
    }
    daemon.kill();
    daemon.waitForFinished();
    return rc;
}

#include "test_resultactions.moc"
