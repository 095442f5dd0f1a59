#include "desktop/filemanager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace tarnwell {

namespace {
// Long enough for a file manager to start on demand, short enough that a
// user who clicked is not left waiting for nothing.
constexpr int kCallTimeoutMs = 5000;
}  // namespace

QString fileUri(const QByteArray& path) {
    return QString::fromLatin1("file://" + path.toPercentEncoding("/"));
}

void showItemInFileManager(const QByteArray& path, QDBusConnection bus,
                           std::function<void()> fallback) {
    if (!bus.isConnected()) {
        fallback();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUri(path)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fallback = std::move(fallback)](QDBusPendingCallWatcher* w) {
                         if (w->isError())
                             fallback();
                         w->deleteLater();
                     });
}

}  // namespace tarnwell
