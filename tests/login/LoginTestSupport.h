#pragma once

#include "DbServer.h"
#include "FindControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Runs action on the modal dialog once the event loop of its exec() is running.
inline void whenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] { action(QApplication::activeModalWidget()); });
}

// The login dialog's controls, found by the names its design gives them.
struct LoginControls {
    explicit LoginControls(const QWidget* dialog)
        : txtDBName(child<QLineEdit>(dialog, "txtDBName"))
        , cboUserName(child<QComboBox>(dialog, "cboUserName"))
        , txtPassword(child<QLineEdit>(dialog, "txtPassword"))
        , cmdOK(child<QPushButton>(dialog, "cmdOK"))
        , cmdCancel(child<QPushButton>(dialog, "cmdCancel"))
        , cmdFileOpen(child<QPushButton>(dialog, "cmdFileOpen"))
        , chkAdminDB(child<QCheckBox>(dialog, "chkAdminDB"))
        , chkAdminUsers(child<QCheckBox>(dialog, "chkAdminUsers"))
        , lblAppName(child<QLabel>(dialog, "lblAppName"))
        , lblAppDescription(child<QLabel>(dialog, "lblAppDescription")) {}
    QLineEdit* txtDBName;
    QComboBox* cboUserName;
    QLineEdit* txtPassword;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* cmdFileOpen;
    QCheckBox* chkAdminDB;
    QCheckBox* chkAdminUsers;
    QLabel* lblAppName;
    QLabel* lblAppDescription;
};

// A server that records what OpenDatabase was asked, then asks the real one (if any).
class RecordingServer : public DbServer {
public:
    explicit RecordingServer(std::shared_ptr<DbServer> real = {})
        : real_(std::move(real)) {}
    DatabasePtr OpenDatabase(const QString& path, const QString& user, const QString& password,
                             qint32 flags) override {
        ++calls;
        lastPath = path;
        lastUser = user;
        lastPassword = password;
        lastFlags = flags;
        if (!real_)
            throw ErrorRecord(serverErrorNumber(4000), QStringLiteral("refused"));
        return real_->OpenDatabase(path, user, password, flags);
    }
    int calls = 0;
    QString lastPath;
    QString lastUser;
    QString lastPassword;
    qint32 lastFlags = -1;

private:
    std::shared_ptr<DbServer> real_;
};
