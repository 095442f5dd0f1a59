#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QString>
#include <functional>

namespace tarnwell {

// A file:// URI that keeps the path's exact bytes (percent-encoded), so a
// name that is not UTF-8 still names the same file.
QString fileUri(const QByteArray& path);

// Asks the desktop's file manager (org.freedesktop.FileManager1) to show the
// file with it selected. The call is asynchronous: this returns at once, and
// `fallback` runs later if no file manager answers.
void showItemInFileManager(const QByteArray& path, QDBusConnection bus,
                           std::function<void()> fallback);

}  // namespace tarnwell
