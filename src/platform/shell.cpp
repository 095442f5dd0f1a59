#include "platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace tarnwell {

bool DesktopShell::openFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool DesktopShell::openFile(const QString& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace tarnwell
