#include "vcoOpenDatabase.h"
#include "FOpenDB.h"
#include "LoginTestSupport.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"
#include "VdbServer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class vcoOpenDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        file = fx.create(u"Firm.vdb"_s, schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})}, u"Firma"_s));
        component = std::make_unique<vcoOpenDatabase>(
            boxes,
            [this] {
                ++serversMade;
                auto server = std::make_shared<RecordingServer>(std::make_shared<VdbServer>(200));
                lastServer = server;
                return server;
            },
            FileChooser());
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    FOpenDB& dlg() { return component->dialog(); }

    VdbFixture fx;
    QString file;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<vcoOpenDatabase> component;
    int serversMade = 0;
    std::shared_ptr<RecordingServer> lastServer;
};

TEST_F(vcoOpenDatabaseTest, DefaultsAfterCreation) {
    EXPECT_FALSE(dlg().chkAdminDB->isEnabled());
    EXPECT_FALSE(dlg().chkAdminUsers->isEnabled());
    EXPECT_FALSE(dlg().chkAdminDB->isChecked());
    EXPECT_TRUE(component->FileNameEnabled());
    EXPECT_EQ(component->AppName(), u"Veltrano"_s);
    EXPECT_EQ(component->AppDescription(), QString());
    EXPECT_EQ(component->DlgTitle(), u"Database Login"_s);
    EXPECT_FALSE(component->AppIcon().isNull());
    EXPECT_EQ(component->UserName(), QString());
}

TEST_F(vcoOpenDatabaseTest, PropertiesActOnTheDialog) {
    component->SetAppName(u"Veltrano Telnormer"_s);
    component->SetAppDescription(u"Convert"_s);
    component->SetDlgTitle(u"Login"_s);
    component->SetFileNameEnabled(false);
    EXPECT_EQ(dlg().lblAppName->text(), u"Veltrano Telnormer"_s);
    EXPECT_EQ(dlg().lblAppDescription->text(), u"Convert"_s);
    EXPECT_EQ(dlg().windowTitle(), u"Login"_s);
    EXPECT_FALSE(dlg().txtDBName->isEnabled());
    EXPECT_FALSE(dlg().cmdFileOpen->isEnabled());
    EXPECT_FALSE(component->FileNameEnabled());
    component->SetAdminModeEnabled(true);
    EXPECT_TRUE(dlg().chkAdminDB->isEnabled());
    EXPECT_TRUE(dlg().chkAdminUsers->isEnabled());
}

TEST_F(vcoOpenDatabaseTest, OpenDBWithoutArgumentsStartsAtTheUserName) {
    QString path;
    QWidget* focus = nullptr;
    whenModal([&](QWidget*) {
        QApplication::processEvents();
        path = dlg().txtDBName->text();
        focus = QApplication::focusWidget();
        dlg().cmdCancel->click();
    });
    EXPECT_FALSE(component->OpenDB());
    EXPECT_EQ(path, u"*.vdb"_s);
    EXPECT_TRUE(focus == dlg().cboUserName || focus == dlg().cboUserName->lineEdit());
    EXPECT_EQ(component->UserName(), QString());
}

TEST_F(vcoOpenDatabaseTest, OpenDBTrimsAndUpperCasesAndLogsIn) {
    QString path;
    QString user;
    whenModal([&](QWidget*) {
        path = dlg().txtDBName->text();
        user = dlg().cboUserName->currentText();
        dlg().txtPassword->setText(u"admin"_s);
        dlg().cmdOK->click();
    });
    const DatabasePtr db = component->OpenDB(u"  "_s + file + u" "_s, u" admin  "_s);
    EXPECT_EQ(path, file);
    EXPECT_EQ(user, u"ADMIN"_s);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->Name(), u"Firma"_s);
    EXPECT_EQ(component->UserName(), u"ADMIN"_s);
    EXPECT_EQ(serversMade, 1);
    // The database outlives the component.
    component.reset();
    EXPECT_EQ(db->Tables()->Count(), 1);
}

TEST_F(vcoOpenDatabaseTest, WrongPasswordThenRightOneInsideOneShowing) {
    whenModal([&](QWidget*) {
        dlg().txtPassword->setText(u"nope"_s);
        boxes.expect(MsgAnswer::Ok);
        dlg().cmdOK->click();
        EXPECT_TRUE(dlg().isVisible());
        EXPECT_EQ(dlg().txtDBName->text(), file);
        dlg().txtPassword->setText(u"admin"_s);
        dlg().cmdOK->click();
    });
    EXPECT_TRUE(component->OpenDB(file, u"admin"_s));
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(vcoOpenDatabaseTest, CancelAndFrameCloseGiveAnEmptyResult) {
    whenModal([&](QWidget*) {
        dlg().cboUserName->setEditText(u"SOMEONE"_s);
        dlg().cmdCancel->click();
    });
    EXPECT_FALSE(component->OpenDB(file, u"admin"_s));
    EXPECT_EQ(component->UserName(), u"SOMEONE"_s);

    // Log in once, then close the second showing through the window frame.
    whenModal([&](QWidget*) {
        dlg().txtPassword->setText(u"admin"_s);
        dlg().cmdOK->click();
    });
    ASSERT_TRUE(component->OpenDB(file, u"admin"_s));
    whenModal([&](QWidget* modal) { modal->close(); });
    EXPECT_FALSE(component->OpenDB(file, u"admin"_s));
    EXPECT_EQ(serversMade, 3);
}

TEST_F(vcoOpenDatabaseTest, AdminOptionsTickedAndGreyedAreRequested) {
    component->SetAdminModeDatabase(true);
    component->SetAdminModeUsers(true);
    EXPECT_TRUE(dlg().chkAdminDB->isChecked());
    EXPECT_FALSE(dlg().chkAdminDB->isEnabled());
    EXPECT_TRUE(dlg().chkAdminUsers->isChecked());
    EXPECT_FALSE(dlg().chkAdminUsers->isEnabled());
    whenModal([&](QWidget*) {
        dlg().txtPassword->setText(u"admin"_s);
        dlg().cmdOK->click();
    });
    EXPECT_TRUE(component->OpenDB(file, u"admin"_s));
    EXPECT_EQ(lastServer->lastFlags, 0x30010);
}

TEST_F(vcoOpenDatabaseTest, TypedUserNamesBecomeUpperCaseForGood) {
    QLineEdit* box = dlg().cboUserName->lineEdit();
    dlg().show();
    QTest::keyClicks(box, u"m"_s);
    QKeyEvent umlaut(QEvent::KeyPress, 0, Qt::NoModifier, u"ü"_s);
    QApplication::sendEvent(box, &umlaut);
    QTest::keyClicks(box, u"ller"_s);
    EXPECT_EQ(box->text(), u"MÜLLER"_s);
    component->SetUserNameUpperCaseOnly(false);
    box->clear();
    QTest::keyClicks(box, u"dev"_s);
    EXPECT_EQ(box->text(), u"DEV"_s);
    dlg().hide();
}

TEST_F(vcoOpenDatabaseTest, ServerCreationFailureCarriesTheComponentSource) {
    vcoOpenDatabase failing(
        boxes,
        []() -> std::shared_ptr<DbServer> {
            throw ErrorRecord(429, u"ActiveX component can't create object"_s, u"factory"_s);
        },
        FileChooser());
    try {
        failing.OpenDB(file, u"admin"_s);
        FAIL() << "no error";
    } catch (const ErrorRecord& e) {
        EXPECT_EQ(e.number(), 429);
        EXPECT_EQ(e.description(), u"ActiveX component can't create object"_s);
        EXPECT_EQ(e.source(), u"vcoOpenDatabase.OpenDB"_s);
    }
}

} // namespace
