#include "FOpenDB.h"
#include "LoginTestSupport.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"
#include "VdbServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class FOpenDBTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        DatabaseSchema schema = schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})}, u"Firma"_s);
        schema.users << UserSchema{u"  "_s, u"blank"_s, false, false};
        file = fx.create(u"Firm.vdb"_s, schema);
        server = std::make_shared<RecordingServer>(std::make_shared<VdbServer>(200));
        dialog = std::make_unique<FOpenDB>(
            boxes, [this](QWidget*, const QString& initial, const QString& filter) {
                chooserInitial = initial;
                chooserFilter = filter;
                return chooserAnswer;
            });
        dialog->mDBServer = server;
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    void enter(const QString& path, const QString& user, const QString& password = u"admin"_s) {
        dialog->txtDBName->setText(path);
        dialog->cboUserName->setEditText(user);
        dialog->txtPassword->setText(password);
    }

    // Presses OK and expects one box with text and icon, titled with the application name.
    void expectRefusal(const QString& text, MsgIcon icon, QWidget* focus) {
        boxes.expect(MsgAnswer::Ok);
        dialog->cmdOK->click();
        const MessageBoxRequest expected{text, dialog->lblAppName->text(), icon, MsgButtons::Ok,
                                         MsgAnswer::Ok};
        EXPECT_EQ(boxes.last(), expected);
        EXPECT_EQ(server->calls, 0);
        EXPECT_TRUE(dialog->isVisible());
        QApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), focus);
    }

    VdbFixture fx;
    QString file;
    ScriptedMessageBoxes boxes;
    std::shared_ptr<RecordingServer> server;
    std::unique_ptr<FOpenDB> dialog;
    QString chooserAnswer;
    QString chooserInitial;
    QString chooserFilter;
};

TEST_F(FOpenDBTest, InitialState) {
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_FALSE(dialog->mDB);
    EXPECT_EQ(dialog->windowTitle(), u"Database Login"_s);
    EXPECT_EQ(dialog->lblAppName->text(), u"Veltrano"_s);
    EXPECT_EQ(dialog->lblFileName->text(), u"&Database"_s);
    EXPECT_EQ(dialog->chkAdminUsers->text(), u"U&sers"_s);
    EXPECT_EQ(dialog->fraAdmin->title(), u"Administration"_s);
    EXPECT_TRUE(dialog->lblCopyright->text().startsWith(u"© "_s));
    EXPECT_GT(dialog->lblCopyright->text().size(), 2);
    EXPECT_EQ(dialog->cboUserName->count(), 2);
    EXPECT_EQ(dialog->cboUserName->itemText(0), u"ADMIN"_s);
    EXPECT_EQ(dialog->cboUserName->itemText(1), u"DEVELOPMENT"_s);
    EXPECT_EQ(dialog->cboUserName->currentText(), QString());
    EXPECT_EQ(dialog->txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog->cmdOK->isDefault());
}

TEST_F(FOpenDBTest, PathChecksInTheirOrder) {
    const QString notFound =
        u"Please enter the complete path and name of an existing database file."_s;
    enter(QString(), u"ADMIN"_s);
    expectRefusal(notFound, MsgIcon::Exclamation, dialog->txtDBName);
    EXPECT_EQ(dialog->txtDBName->selectedText(), dialog->txtDBName->text());
    for (const QString& wildcard : {fx.path(u"*.vdb"_s), fx.path(u"Fir?.vdb"_s)}) {
        dialog->cboUserName->setFocus();
        enter(wildcard, u"ADMIN"_s);
        expectRefusal(notFound, MsgIcon::Exclamation, dialog->txtDBName);
        EXPECT_EQ(dialog->txtDBName->selectedText(), wildcard);
    }
    // Blanks only: not empty, no wildcard, so it fails as a missing file.
    enter(u"   "_s, u"ADMIN"_s);
    expectRefusal(notFound, MsgIcon::Information, dialog->txtDBName);
    enter(fx.path(u"Missing.vdb"_s), u"ADMIN"_s);
    expectRefusal(notFound, MsgIcon::Information, dialog->txtDBName);
    // "Firm." has an empty extension: looked for as "Firm..vdb".
    enter(fx.path(u"Firm."_s), u"ADMIN"_s);
    expectRefusal(notFound, MsgIcon::Information, dialog->txtDBName);
}

TEST_F(FOpenDBTest, EmptyUserName) {
    enter(file, QString());
    expectRefusal(u"Please enter a user name."_s, MsgIcon::Exclamation, dialog->cboUserName);
}

TEST_F(FOpenDBTest, DisabledPathKeepsTheFocusWhereItWas) {
    dialog->txtDBName->setEnabled(false);
    dialog->txtPassword->setFocus();
    enter(QString(), u"ADMIN"_s);
    expectRefusal(u"Please enter the complete path and name of an existing database file."_s,
                  MsgIcon::Exclamation, dialog->txtPassword);
}

TEST_F(FOpenDBTest, PathWithoutExtensionOpensTheVdbFile) {
    enter(fx.path(u"Firm"_s), u"ADMIN"_s);
    dialog->cmdOK->click();
    EXPECT_EQ(server->lastPath, file);
    EXPECT_EQ(dialog->txtDBName->text(), fx.path(u"Firm"_s));
    ASSERT_TRUE(dialog->mDB);
    EXPECT_EQ(dialog->mDB->Name(), u"Firma"_s);
    EXPECT_FALSE(dialog->Cancelled());
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(FOpenDBTest, OpenFailuresGoThroughShowErrorAndKeepEveryEntry) {
    enter(file, u"ADMIN"_s, u"wrong"_s);
    boxes.expect(MsgAnswer::Ok);
    dialog->cmdOK->click();
    EXPECT_EQ(boxes.last().text, u"The password is wrong."_s);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Information);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_EQ(dialog->txtPassword->text(), u"wrong"_s);
    EXPECT_EQ(dialog->cboUserName->currentText(), u"ADMIN"_s);
    dialog->txtPassword->setText(u"admin"_s);
    dialog->cmdOK->click();
    EXPECT_TRUE(dialog->mDB);
    EXPECT_FALSE(dialog->Cancelled());
}

TEST_F(FOpenDBTest, OtherFilesReachTheServerUnchecked) {
    QFile text(fx.path(u"notes.txt"_s));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    enter(text.fileName(), u"ADMIN"_s);
    boxes.expect(MsgAnswer::Ok);
    dialog->cmdOK->click();
    EXPECT_EQ(server->lastPath, text.fileName());
    EXPECT_EQ(boxes.last().text, u"The file is not a Veltrano database, or it is damaged."_s);
}

TEST_F(FOpenDBTest, BlankUserAndEmptyPasswordPassUnchanged) {
    enter(file, u"  "_s, QString());
    boxes.expect(MsgAnswer::Ok);
    dialog->cmdOK->click();
    EXPECT_EQ(server->lastUser, u"  "_s);
    EXPECT_EQ(server->lastPassword, QString());
    EXPECT_EQ(boxes.last().text, u"The password is wrong."_s);
}

TEST_F(FOpenDBTest, AdminFlags) {
    dialog->mDBServer = std::make_shared<RecordingServer>();
    auto* recording = static_cast<RecordingServer*>(dialog->mDBServer.get());
    const std::tuple<bool, bool, qint32> cases[] = {
        {false, false, 0}, {true, false, 0x10010}, {false, true, 0x20000}, {true, true, 0x30010}};
    for (const auto& [database, users, flags] : cases) {
        enter(file, u"ADMIN"_s);
        dialog->chkAdminDB->setChecked(database);
        dialog->chkAdminUsers->setChecked(users);
        boxes.expect(MsgAnswer::Ok);
        dialog->cmdOK->click();
        EXPECT_EQ(recording->lastFlags, flags);
        EXPECT_EQ(boxes.last().text, u"VelDbServer returned Error &H80040FA0"_s);
    }
}

TEST_F(FOpenDBTest, BrowsePutsTheChosenFileIntoThePathBox) {
    dialog->txtDBName->setText(u"start.vdb"_s);
    chooserAnswer = file;
    dialog->cmdFileOpen->click();
    EXPECT_EQ(dialog->txtDBName->text(), file);
    EXPECT_EQ(chooserInitial, u"start.vdb"_s);
    EXPECT_EQ(chooserFilter, u"Veltrano databases (*.vdb)"_s);
    chooserAnswer.clear(); // cancelled
    dialog->cmdFileOpen->click();
    EXPECT_EQ(dialog->txtDBName->text(), file);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(FOpenDBTest, EnterPressesOkAndEscapeCancels) {
    enter(file, u"ADMIN"_s);
    dialog->txtPassword->setFocus();
    QTest::keyClick(dialog->txtPassword, Qt::Key_Return);
    EXPECT_TRUE(dialog->mDB);
    EXPECT_FALSE(dialog->Cancelled());
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(FOpenDBTest, AccessKeysReachTheirBoxes) {
    for (const UiLanguage language : {UiLanguage::English, UiLanguage::German}) {
        setUiLanguageOverride(language);
        FOpenDB localised(boxes, {});
        localised.show();
        QApplication::setActiveWindow(&localised);
        const bool german = language == UiLanguage::German;
        const std::pair<Qt::Key, QWidget*> keys[] = {
            {Qt::Key_D, localised.txtDBName},
            {german ? Qt::Key_B : Qt::Key_U, localised.cboUserName},
            {german ? Qt::Key_K : Qt::Key_P, localised.txtPassword},
        };
        for (const auto& [key, target] : keys) {
            QTest::keyClick(&localised, key, Qt::AltModifier);
            QWidget* focus = QApplication::focusWidget();
            EXPECT_TRUE(focus == target || focus == localised.cboUserName->lineEdit())
                << static_cast<int>(key);
            if (target != localised.cboUserName) {
                EXPECT_EQ(focus, target);
            }
        }
        QTest::keyClick(&localised, german ? Qt::Key_E : Qt::Key_S, Qt::AltModifier);
        EXPECT_TRUE(localised.chkAdminUsers->hasFocus() || localised.chkAdminUsers->isChecked());
    }
}

} // namespace
