#include "desktop/settings.h"

#include <QSettings>

namespace tarnwell {

QString QtSettingsStore::GetSetting(const QString& appName, const QString& section,
                                    const QString& key, const QString& defaultValue) {
    QSettings settings(QSettings::UserScope, appName, QStringLiteral("Tarnwell"));
    settings.beginGroup(section);
    return settings.value(key, defaultValue).toString();
}

}  // namespace tarnwell
