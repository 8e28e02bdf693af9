#include "vcoOpenDatabase.h"

#include "FOpenDB.h"
#include "StringTable.h"
#include "UpperCaseInput.h"
#include "UserName.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

vcoOpenDatabase::vcoOpenDatabase(MessageBoxes& boxes, DbServerFactory makeServer,
                                 FileChooser chooseFile)
    : dialog_(std::make_unique<FOpenDB>(boxes, std::move(chooseFile)))
    , makeServer_(std::move(makeServer)) {
    SetAdminModeEnabled(false);
    SetAdminModeDatabase(false);
    SetAdminModeUsers(false);
    SetUserNameUpperCaseOnly(true);
}

vcoOpenDatabase::~vcoOpenDatabase() = default;

QString vcoOpenDatabase::UserName() const {
    return dialog_->cboUserName->currentText();
}

void vcoOpenDatabase::SetAdminModeEnabled(bool pShowAdmin) {
    // Greyed boxes say why they cannot be changed.
    const QString tip = pShowAdmin ? QString() : LoadResourceString(IDS_LOGIN_TIP_ADMIN_FIXED);
    for (QCheckBox* box : {dialog_->chkAdminDB, dialog_->chkAdminUsers}) {
        box->setEnabled(pShowAdmin);
        box->setToolTip(tip);
    }
}

void vcoOpenDatabase::SetAdminModeDatabase(bool pAdmin) {
    dialog_->chkAdminDB->setChecked(pAdmin);
}

void vcoOpenDatabase::SetAdminModeUsers(bool pAdmin) {
    dialog_->chkAdminUsers->setChecked(pAdmin);
}

bool vcoOpenDatabase::FileNameEnabled() const {
    return dialog_->txtDBName->isEnabled();
}

void vcoOpenDatabase::SetFileNameEnabled(bool pEnabled) {
    dialog_->txtDBName->setEnabled(pEnabled);
    dialog_->cmdFileOpen->setEnabled(pEnabled);
}

void vcoOpenDatabase::SetUserNameUpperCaseOnly(bool pUCaseOnly) {
    // Switching it off does not switch upper-case input off again.
    if (pUCaseOnly)
        setUpperCaseInput(dialog_->cboUserName->lineEdit());
}

QString vcoOpenDatabase::AppName() const {
    return dialog_->lblAppName->text();
}

void vcoOpenDatabase::SetAppName(const QString& pName) {
    dialog_->lblAppName->setText(pName);
}

QString vcoOpenDatabase::AppDescription() const {
    return dialog_->lblAppDescription->text();
}

void vcoOpenDatabase::SetAppDescription(const QString& pDescription) {
    dialog_->lblAppDescription->setText(pDescription);
}

QString vcoOpenDatabase::DlgTitle() const {
    return dialog_->windowTitle();
}

void vcoOpenDatabase::SetDlgTitle(const QString& pTitle) {
    dialog_->setWindowTitle(pTitle);
}

QIcon vcoOpenDatabase::AppIcon() const {
    return dialog_->windowIcon();
}

void vcoOpenDatabase::SetAppIcon(const QIcon& pIcon) {
    dialog_->setWindowIcon(pIcon);
    dialog_->AppIcon->setPixmap(pIcon.pixmap(48, 48));
}

DatabasePtr vcoOpenDatabase::OpenDB(const QString& DBPath, const QString& UserName) {
    try {
        std::shared_ptr<DbServer> server = makeServer_();
        dialog_->mDBServer = server;
        dialog_->txtDBName->setText(DBPath.trimmed());
        dialog_->cboUserName->setEditText(upperCaseUserName(UserName.trimmed()));
        dialog_->exec();
        DatabasePtr result = dialog_->Cancelled() ? DatabasePtr() : dialog_->mDB;
        server.reset();
        return result;
    } catch (const ErrorRecord& error) {
        throw ErrorRecord(error.number(), error.description(), u"vcoOpenDatabase.OpenDB"_s);
    }
}
