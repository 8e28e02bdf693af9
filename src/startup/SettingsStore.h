#pragma once

#include <QString>

#include <utility>

// Keys the system keeps under the application title, section "Settings".
namespace SettingKey {
inline QString section() {
    return QStringLiteral("Settings");
}
inline QString database() {
    return QStringLiteral("Database");
}
inline QString user() {
    return QStringLiteral("User");
}
inline QString fieldSearchPrefix() {
    return QStringLiteral("FieldSearchPrefix");
}
// "1" when the window also rewrites numbers that differ only in blanks and brackets.
inline QString uniformNumbers() {
    return QStringLiteral("UniformNumbers");
}
inline QString defaultFieldSearchPrefix() {
    return QStringLiteral("Telef");
}
} // namespace SettingKey

// The per-user settings store: string values addressed by application, section and key, kept in
// one INI file per application. A file that cannot be read or written fails with error 75.
class SettingsStore {
public:
    // The user's own store (the platform's per-user configuration folder).
    SettingsStore() = default;
    // A store whose files live in folder (tests, portable use).
    explicit SettingsStore(QString folder)
        : folder_(std::move(folder)) {}

    // The stored value, or defaultValue when the key is absent; a stored empty value stays empty.
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue = {}) const;
    // Stores value, replacing an earlier one; an empty value is stored as such.
    void SaveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value);

    // The file that holds the application's values.
    QString fileName(const QString& application) const;

private:
    QString folder_;
};
