#pragma once

#include "DbServer.h"
#include "FOpenDB.h"

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
    QString lastPath, lastUser, lastPassword;
    qint32 lastFlags = -1;

private:
    std::shared_ptr<DbServer> real_;
};
