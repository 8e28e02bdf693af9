#include "FOpenDB.h"
#include "LoginTestSupport.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"
#include "VdbServer.h"

#include <QFile>
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
        ui.emplace(dialog.get());
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    void enter(const QString& path, const QString& user, const QString& password = u"admin"_s) {
        ui->txtDBName->setText(path);
        ui->cboUserName->setEditText(user);
        ui->txtPassword->setText(password);
    }

    // Presses OK and expects one box with text and icon, titled with the application name.
    void expectRefusal(const QString& text, MsgIcon icon, QWidget* focus) {
        boxes.expect(MsgAnswer::Ok);
        ui->cmdOK->click();
        const MessageBoxRequest expected{text, ui->lblAppName->text(), icon, MsgButtons::Ok,
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
    std::optional<LoginControls> ui;
    QString chooserAnswer;
    QString chooserInitial;
    QString chooserFilter;
};

TEST_F(FOpenDBTest, InitialState) {
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_FALSE(dialog->mDB);
    EXPECT_EQ(ui->cboUserName->count(), 2);
    EXPECT_EQ(ui->cboUserName->itemText(0), u"ADMIN"_s);
    EXPECT_EQ(ui->cboUserName->itemText(1), u"DEVELOPMENT"_s);
    EXPECT_EQ(ui->cboUserName->currentText(), QString());
    EXPECT_EQ(ui->txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(ui->cmdOK->isDefault());
}

TEST_F(FOpenDBTest, EntriesAreCheckedInTheirOrder) {
    const QString notFound =
        u"Please enter the complete path and name of an existing database file."_s;
    struct Case {
        QString path;
        QString user;
        MsgIcon icon;
    };
    // clang-format off
    const Case cases[] = {
        {QString(), u"ADMIN"_s, MsgIcon::Exclamation},
        {fx.path(u"*.vdb"_s), u"ADMIN"_s, MsgIcon::Exclamation},
        {fx.path(u"Fir?.vdb"_s), u"ADMIN"_s, MsgIcon::Exclamation},
        {u"   "_s, u"ADMIN"_s, MsgIcon::Information}, // blanks only: not empty, no wildcard, a missing file
        {fx.path(u"Missing.vdb"_s), u"ADMIN"_s, MsgIcon::Information},
        {fx.path(u"Firm."_s), u"ADMIN"_s, MsgIcon::Information}, // an empty extension: looked for as "Firm..vdb"
        {file, QString(), MsgIcon::Exclamation},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ui->cmdFileOpen->setFocus();
        enter(c.path, c.user);
        if (c.user.isEmpty()) {
            expectRefusal(u"Please enter a user name."_s, c.icon, ui->cboUserName);
            continue;
        }
        expectRefusal(notFound, c.icon, ui->txtDBName);
        EXPECT_EQ(ui->txtDBName->selectedText(), c.path);
    }
    // A disabled path box keeps the focus where it was.
    ui->txtDBName->setEnabled(false);
    ui->txtPassword->setFocus();
    enter(QString(), u"ADMIN"_s);
    expectRefusal(notFound, MsgIcon::Exclamation, ui->txtPassword);
}

TEST_F(FOpenDBTest, PathWithoutExtensionOpensTheVdbFile) {
    enter(fx.path(u"Firm"_s), u"ADMIN"_s);
    ui->cmdOK->click();
    EXPECT_EQ(server->lastPath, file);
    EXPECT_EQ(ui->txtDBName->text(), fx.path(u"Firm"_s));
    ASSERT_TRUE(dialog->mDB);
    EXPECT_EQ(dialog->mDB->Name(), u"Firma"_s);
    EXPECT_FALSE(dialog->Cancelled());
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(FOpenDBTest, OpenFailuresGoThroughShowErrorAndKeepEveryEntry) {
    enter(file, u"ADMIN"_s, u"wrong"_s);
    boxes.expect(MsgAnswer::Ok);
    ui->cmdOK->click();
    EXPECT_EQ(boxes.last().text, u"The password is wrong."_s);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Information);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_EQ(ui->txtPassword->text(), u"wrong"_s);
    EXPECT_EQ(ui->cboUserName->currentText(), u"ADMIN"_s);
    ui->txtPassword->setText(u"admin"_s);
    ui->cmdOK->click();
    EXPECT_TRUE(dialog->mDB);
    EXPECT_FALSE(dialog->Cancelled());
}

TEST_F(FOpenDBTest, OtherFilesBlankUsersAndEmptyPasswordsReachTheServerUnchanged) {
    QFile text(fx.path(u"notes.txt"_s));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    enter(text.fileName(), u"ADMIN"_s);
    boxes.expect(MsgAnswer::Ok);
    ui->cmdOK->click();
    EXPECT_EQ(server->lastPath, text.fileName());
    EXPECT_EQ(boxes.last().text, u"The file is not a Veltrano database, or it is damaged."_s);
    enter(file, u"  "_s, QString());
    boxes.expect(MsgAnswer::Ok);
    ui->cmdOK->click();
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
        ui->chkAdminDB->setChecked(database);
        ui->chkAdminUsers->setChecked(users);
        boxes.expect(MsgAnswer::Ok);
        ui->cmdOK->click();
        EXPECT_EQ(recording->lastFlags, flags);
        EXPECT_EQ(boxes.last().text, u"VelDbServer returned Error &H80040FA0"_s);
    }
}

TEST_F(FOpenDBTest, BrowsePutsTheChosenFileIntoThePathBox) {
    ui->txtDBName->setText(u"start.vdb"_s);
    chooserAnswer = file;
    ui->cmdFileOpen->click();
    EXPECT_EQ(ui->txtDBName->text(), file);
    EXPECT_EQ(chooserInitial, u"start.vdb"_s);
    EXPECT_EQ(chooserFilter, u"Veltrano databases (*.vdb)"_s);
    chooserAnswer.clear(); // cancelled
    ui->cmdFileOpen->click();
    EXPECT_EQ(ui->txtDBName->text(), file);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(FOpenDBTest, EnterPressesOkAndEscapeCancels) {
    enter(file, u"ADMIN"_s);
    ui->txtPassword->setFocus();
    QTest::keyClick(ui->txtPassword, Qt::Key_Return);
    EXPECT_TRUE(dialog->mDB);
    EXPECT_FALSE(dialog->Cancelled());
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_FALSE(dialog->isVisible());
}

} // namespace
