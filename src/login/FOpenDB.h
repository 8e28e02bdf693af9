#pragma once

#include "DbServer.h"
#include "FileChooser.h"
#include "vcoFiles.h"

#include <QDialog>

#include <memory>
#include <optional>

class MessageBoxes;
enum class MsgIcon;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The login dialog: the database file, the user name, the password and the admin options; OK
// checks the entries and opens the database through mDBServer.
class FOpenDB : public QDialog {
    Q_OBJECT

public:
    FOpenDB(MessageBoxes& boxes, FileChooser chooseFile, QWidget* parent = nullptr);
    ~FOpenDB() override;

    // The database opened by the last successful OK; empty after initialisation.
    DatabasePtr mDB;
    // The server through which OK opens the database; supplied before each showing.
    std::shared_ptr<DbServer> mDBServer;
    // True after initialisation and after Cancel, false after a successful OK.
    bool Cancelled() const { return cancelled_; }

    void cmdFileOpen_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    // The component that shows the dialog sets its texts and switches.
    friend class vcoOpenDatabase;

    QLabel* AppIcon;
    QLabel* lblAppName;
    QLabel* lblAppDescription;
    QLabel* lblCopyright;
    QFrame* Line1;
    QLabel* lblFileName;
    QLineEdit* txtDBName;
    QPushButton* cmdFileOpen;
    QLabel* lblUserName;
    QComboBox* cboUserName;
    QLabel* lblPassword;
    QLineEdit* txtPassword;
    QGroupBox* fraAdmin;
    QCheckBox* chkAdminDB;
    QCheckBox* chkAdminUsers;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void buildControls();
    void arrangeControls();
    void initialise();
    // Shows a check's message titled with the application name; focuses target if enabled.
    void refuse(const QString& text, MsgIcon icon, QWidget* target);

    MessageBoxes& boxes_;
    FileChooser chooseFile_;
    std::optional<vcoFiles> files_;
    bool cancelled_ = true;
};
