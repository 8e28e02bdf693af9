#pragma once

#include "FindControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// The login dialog's controls, found by the names its design gives them.
struct LoginControls {
    explicit LoginControls(const QWidget* dialog)
        : window(dialog) {}
    const QWidget* window;
    QLineEdit* txtDBName = child<QLineEdit>(window, "txtDBName");
    QComboBox* cboUserName = child<QComboBox>(window, "cboUserName");
    QLineEdit* txtPassword = child<QLineEdit>(window, "txtPassword");
    QPushButton* cmdOK = child<QPushButton>(window, "cmdOK");
    QPushButton* cmdCancel = child<QPushButton>(window, "cmdCancel");
    QPushButton* cmdFileOpen = child<QPushButton>(window, "cmdFileOpen");
    QCheckBox* chkAdminDB = child<QCheckBox>(window, "chkAdminDB");
    QCheckBox* chkAdminUsers = child<QCheckBox>(window, "chkAdminUsers");
    QLabel* lblAppName = child<QLabel>(window, "lblAppName");
};
