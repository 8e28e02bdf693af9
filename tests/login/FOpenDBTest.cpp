#include "FOpenDB.h"
#include "LoginControls.h"
#include "LoginTestSupport.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "TestProcess.h"
#include "VdbFixture.h"
#include "VdbServer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <array>

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
    LoginControls ui() const { return LoginControls(dialog.get()); }

    void enter(const QString& path, const QString& user, const QString& password = u"admin"_s) {
        ui().txtDBName->setText(path);
        ui().cboUserName->setEditText(user);
        ui().txtPassword->setText(password);
    }

    // Presses OK and expects one box with text and icon, titled with the application name.
    void expectRefusal(const QString& text, MsgIcon icon, QWidget* focus) {
        boxes.expect(MsgAnswer::Ok);
        ui().cmdOK->click();
        const MessageBoxRequest expected{text, ui().lblAppName->text(), icon, MsgButtons::Ok,
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

TEST_F(FOpenDBTest, EntriesAreCheckedInTheirOrder) {
    const QString notFound = LoadResourceString(IDS_LOGIN_NO_DATABASE);
    // clang-format off
    const std::tuple<QString, QString, MsgIcon> cases[] = {
        {QString(), u"ADMIN"_s, MsgIcon::Exclamation},
        {fx.path(u"*.vdb"_s), u"ADMIN"_s, MsgIcon::Exclamation},
        {fx.path(u"Fir?.vdb"_s), u"ADMIN"_s, MsgIcon::Exclamation},
        {u"   "_s, u"ADMIN"_s, MsgIcon::Information}, // blanks only: not empty, no wildcard, a missing file
        {fx.path(u"Missing.vdb"_s), u"ADMIN"_s, MsgIcon::Information},
        {fx.path(u"Firm."_s), u"ADMIN"_s, MsgIcon::Information}, // an empty extension: looked for as "Firm..vdb"
        {file, QString(), MsgIcon::Exclamation},
    };
    // clang-format on
    for (const auto& [path, user, icon] : cases) {
        SCOPED_TRACE(path.toStdString());
        ui().cmdFileOpen->setFocus();
        enter(path, user);
        if (user.isEmpty()) {
            expectRefusal(LoadResourceString(IDS_LOGIN_NO_USER), icon, ui().cboUserName);
            continue;
        }
        expectRefusal(notFound, icon, ui().txtDBName);
        EXPECT_EQ(ui().txtDBName->selectedText(), path);
    }
    // A disabled path box keeps the focus where it was.
    ui().txtDBName->setEnabled(false);
    ui().txtPassword->setFocus();
    enter(QString(), u"ADMIN"_s);
    expectRefusal(notFound, MsgIcon::Exclamation, ui().txtPassword);
}

// Refusals keep every entry; paths, blank users and empty passwords reach the server as typed.
TEST_F(FOpenDBTest, ServerRefusalsKeepEveryEntry) {
    const QString notes = fx.path(u"notes.txt"_s);
    writeFile(notes, "hello");
    // clang-format off
    const std::array<QString, 4> cases[] = {
        {file, u"ADMIN"_s, u"wrong"_s, u"The password is wrong."_s},
        {notes, u"ADMIN"_s, u"admin"_s, u"The file is not a Veltrano database, or it is damaged."_s},
        {file, u"  "_s, QString(), u"The password is wrong."_s},
    };
    // clang-format on
    for (const auto& [path, user, password, text] : cases) {
        enter(path, user, password);
        boxes.expect(MsgAnswer::Ok);
        ui().cmdOK->click();
        EXPECT_EQ(boxes.last().text, text);
        EXPECT_EQ(server->lastPath + u'|' + server->lastUser + u'|' + server->lastPassword,
                  path + u'|' + user + u'|' + password);
        EXPECT_TRUE(dialog->isVisible() && dialog->Cancelled());
        EXPECT_EQ(ui().txtDBName->text() + ui().cboUserName->currentText() +
                      ui().txtPassword->text(),
                  path + user + password);
    }
}

TEST_F(FOpenDBTest, AdminFlags) {
    dialog->mDBServer = std::make_shared<RecordingServer>();
    auto* recording = static_cast<RecordingServer*>(dialog->mDBServer.get());
    const std::tuple<bool, bool, qint32> cases[] = {
        {false, false, 0}, {true, false, 0x10010}, {false, true, 0x20000}, {true, true, 0x30010}};
    for (const auto& [database, users, flags] : cases) {
        enter(file, u"ADMIN"_s);
        ui().chkAdminDB->setChecked(database);
        ui().chkAdminUsers->setChecked(users);
        boxes.expect(MsgAnswer::Ok);
        ui().cmdOK->click();
        EXPECT_EQ(recording->lastFlags, flags);
    }
}

TEST_F(FOpenDBTest, BrowsePutsTheChosenFileIntoThePathBox) {
    ui().txtDBName->setText(u"start.vdb"_s);
    chooserAnswer = file;
    ui().cmdFileOpen->click();
    EXPECT_EQ(ui().txtDBName->text(), file);
    EXPECT_EQ(chooserInitial, u"start.vdb"_s);
    EXPECT_EQ(chooserFilter, u"Veltrano databases (*.vdb)"_s);
    chooserAnswer.clear(); // cancelled
    ui().cmdFileOpen->click();
    EXPECT_EQ(ui().txtDBName->text(), file);
}

// A path without extension opens the .vdb file.
TEST_F(FOpenDBTest, EnterPressesOkAndEscapeCancels) {
    enter(fx.path(u"Firm"_s), u"ADMIN"_s);
    EXPECT_EQ(ui().txtPassword->echoMode(), QLineEdit::Password);
    ui().txtPassword->setFocus();
    QTest::keyClick(ui().txtPassword, Qt::Key_Return);
    EXPECT_EQ(server->lastPath, file);
    EXPECT_EQ(ui().txtDBName->text(), fx.path(u"Firm"_s));
    ASSERT_TRUE(dialog->mDB);
    EXPECT_EQ(dialog->mDB->Name(), u"Firma"_s);
    EXPECT_FALSE(dialog->Cancelled() || dialog->isVisible());
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->Cancelled());
    EXPECT_FALSE(dialog->isVisible());
}

} // namespace
