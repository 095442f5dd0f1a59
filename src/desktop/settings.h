#pragma once

#include <QString>

namespace tarnwell {

// The per-user settings store: a text by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or defaultValue when the key is absent.
    virtual QString GetSetting(const QString& appName, const QString& section, const QString& key,
                               const QString& defaultValue) = 0;
};

// QSettings in the user scope: organisation appName, application "Tarnwell",
// group section.
class QtSettingsStore : public SettingsStore {
public:
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
};

}  // namespace tarnwell
