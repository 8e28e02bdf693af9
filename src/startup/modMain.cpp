#include "modMain.h"

#include "AppTitle.h"
#include "CurrentDatabase.h"
#include "GlobalDefs.h"
#include "MessageBoxes.h"
#include "SettingsStore.h"
#include "StringTable.h"
#include "vcoOpenDatabase.h"

using namespace Qt::StringLiterals;

namespace {

// Error 364 (a window unloaded while loading) ends quietly; anything else is shown.
void report(StartServices& services, const ErrorRecord& error) {
    if (error.number() == ErrorNumber::FormUnloaded)
        return;
    services.boxes.ok(ErrorText(error), AppTitle(), MsgIcon::Stop);
}

QString setting(StartServices& services, const QString& key) {
    return services.settings.GetSetting(AppTitle(), SettingKey::section(), key, QString());
}

} // namespace

void OpenDatabaseWithLogin(StartServices& services, const QString& databasePath,
                           const QString& userName) {
    try {
        {
            std::unique_ptr<vcoOpenDatabase> login = services.makeLogin();
            login->SetAppDescription(LoadResourceString(IDS_APP_DESCRIPTION));
            login->SetAppName(AppTitle());
            login->SetAdminModeDatabase(true);
            login->SetAdminModeUsers(true);
            gDatabase = login->OpenDB(databasePath, userName);
        } // the login component and its dialog go before anything else happens
        if (gDatabase) {
            services.settings.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::database(),
                                          gDatabase->FileName());
            services.settings.SaveSetting(AppTitle(), SettingKey::section(), SettingKey::user(),
                                          gDatabase->Logon()->CurrentUser()->Name());
        }
    } catch (const ErrorRecord& error) {
        report(services, error);
    }
}

void Main(StartServices& services) {
    try {
        if (services.automationStart)
            return;
        QString path;
        QString user;
        if (!setting(services, SettingKey::database()).isEmpty()) {
            path = setting(services, SettingKey::database());
            user = setting(services, SettingKey::user());
        } else {
            path = services.programFolder + u"/*.vdb"_s;
        }
        OpenDatabaseWithLogin(services, path, user);
        if (!gDatabase)
            return;
        services.showMainWindow();
    } catch (const ErrorRecord& error) {
        report(services, error);
    }
}
