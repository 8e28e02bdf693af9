#pragma once

#include "DbServer.h"
#include "FileChooser.h"

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

class FOpenDB;
class MessageBoxes;

// Creates the database server for one login.
using DbServerFactory = std::function<std::shared_ptr<DbServer>()>;

// The open-database component: configures its login dialog, shows it modally and hands back the
// opened database, or an empty reference when the user gives up. Every property acts directly
// on the dialog, which is the only store of the configuration.
class vcoOpenDatabase {
public:
    vcoOpenDatabase(MessageBoxes& boxes, DbServerFactory makeServer,
                    FileChooser chooseFile = desktopFileChooser());
    ~vcoOpenDatabase();
    vcoOpenDatabase(const vcoOpenDatabase&) = delete;
    vcoOpenDatabase& operator=(const vcoOpenDatabase&) = delete;

    // Returns the name with which the user logged in to the database
    QString UserName() const;
    // Let user select admin mode?
    void SetAdminModeEnabled(bool pShowAdmin);
    // Sets or returns admin mode option
    void SetAdminModeDatabase(bool pAdmin);
    void SetAdminModeUsers(bool pAdmin);
    // Can the user change the file name?
    bool FileNameEnabled() const;
    void SetFileNameEnabled(bool pEnabled);
    // Convert all user name characters to upper case?
    void SetUserNameUpperCaseOnly(bool pUCaseOnly);
    // Application name to display in form
    QString AppName() const;
    void SetAppName(const QString& pName);
    // Short description of application to display in form
    QString AppDescription() const;
    void SetAppDescription(const QString& pDescription);
    // Title/Caption of the Open Database dialog
    QString DlgTitle() const;
    void SetDlgTitle(const QString& pTitle);
    // Application's icon to display in form
    QIcon AppIcon() const;
    void SetAppIcon(const QIcon& pIcon);

    // Returns a valid reference to a Veltrano 3.0 database, or nothing when the user gives up.
    DatabasePtr OpenDB(const QString& DBPath = QStringLiteral("*.vdb"),
                       const QString& UserName = QString());

    // The dialog, for the tests that drive it.
    FOpenDB& dialog() const { return *dialog_; }

private:
    std::unique_ptr<FOpenDB> dialog_;
    DbServerFactory makeServer_;
};
