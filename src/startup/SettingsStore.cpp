#include "SettingsStore.h"

#include "ErrorRecord.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<QSettings> openSettings(const QString& folder, const QString& application) {
    if (folder.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, application);
    return std::make_unique<QSettings>(folder + u'/' + application + u".ini"_s,
                                       QSettings::IniFormat);
}

[[noreturn]] void fail(const QString& what, const QString& file) {
    throw ErrorRecord(ErrorNumber::FileAccess,
                      u"Path/File access error: the settings file '"_s + file + u"' "_s + what,
                      u"SettingsStore"_s);
}

// QSettings silently reads an unreadable file as empty; the user must hear of it instead.
void checkReadable(const QSettings& settings) {
    const QFileInfo info(settings.fileName());
    if (info.exists() && (!info.isFile() || !info.isReadable()))
        fail(u"cannot be read"_s, settings.fileName());
    if (settings.status() != QSettings::NoError)
        fail(u"cannot be read"_s, settings.fileName());
}

} // namespace

QString SettingsStore::fileName(const QString& application) const {
    return openSettings(folder_, application)->fileName();
}

QString SettingsStore::GetSetting(const QString& application, const QString& section,
                                  const QString& key, const QString& defaultValue) const {
    const auto settings = openSettings(folder_, application);
    checkReadable(*settings);
    settings->beginGroup(section);
    if (!settings->contains(key))
        return defaultValue;
    const QVariant value = settings->value(key);
    // An unquoted comma in a hand-edited file makes QSettings read a list; keep the text whole.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(u", "_s);
    return value.toString();
}

void SettingsStore::SaveSetting(const QString& application, const QString& section,
                                const QString& key, const QString& value) {
    const auto settings = openSettings(folder_, application);
    checkReadable(*settings);
    settings->beginGroup(section);
    settings->setValue(key, value);
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError)
        fail(u"cannot be written"_s, settings->fileName());
}
