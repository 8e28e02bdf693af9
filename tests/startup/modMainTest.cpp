#include "modMain.h"
#include "../login/LoginTestSupport.h"
#include "AppTitle.h"
#include "CurrentDatabase.h"
#include "LoginControls.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "TestProcess.h"
#include "VdbFixture.h"
#include "VdbServer.h"
#include "vcoOpenDatabase.h"

#include <QFile>

#include <gtest/gtest.h>

#include <array>

using namespace Qt::StringLiterals;

namespace {

class modMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        gDatabase.reset();
        DatabaseSchema schema = schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})}, u"Firma"_s);
        schema.users << UserSchema{u"Müller"_s, u"geheim"_s, true, true};
        file = fx.create(u"Firm.vdb"_s, schema);
    }
    void TearDown() override {
        gDatabase.reset();
        setUiLanguageOverride(std::nullopt);
    }

    StartServices services() {
        return StartServices{
            settings,
            boxes,
            [this] {
                return std::make_unique<vcoOpenDatabase>(
                    boxes, [] { return std::make_shared<VdbServer>(200); }, FileChooser());
            },
            [this] {
                ++windowsShown;
                if (windowFailure)
                    throw *windowFailure;
            },
            false,
            u"/opt/telnormer/bin"_s,
        };
    }

    // What the login dialog offered; then logs in with password, or cancels when it is empty.
    void answerLogin(const QString& password) {
        QTimer::singleShot(0, [this, password] {
            auto* dialog = qobject_cast<FOpenDB*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            const LoginControls ui(dialog);
            offeredPath = ui.txtDBName->text();
            offeredUser = ui.cboUserName->currentText();
            if (password.isEmpty()) {
                ui.cmdCancel->click();
                return;
            }
            ui.txtDBName->setText(file);
            if (ui.cboUserName->currentText().isEmpty())
                ui.cboUserName->setEditText(u"ADMIN"_s);
            ui.txtPassword->setText(password);
            ui.cmdOK->click();
        });
        // A dialog still open means the test went wrong: fail instead of waiting for ever.
        QTimer::singleShot(5000, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "the login dialog is still open";
                modal->close();
            }
        });
    }

    QString stored(const QString& key) {
        return settings.GetSetting(AppTitle(), SettingKey::section(), key, u"<absent>"_s);
    }
    void store(const QString& key, const QString& value) {
        settings.SaveSetting(AppTitle(), SettingKey::section(), key, value);
    }

    VdbFixture fx;
    QString file;
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.path()};
    ScriptedMessageBoxes boxes;
    int windowsShown = 0;
    std::optional<ErrorRecord> windowFailure;
    QString offeredPath;
    QString offeredUser;
};

TEST_F(modMainTest, RememberedEntriesAreOfferedAndOnlyALoginRewritesThem) {
    const QString pattern = u"/opt/telnormer/bin/*.vdb"_s;
    const QString absent = u"<absent>"_s;
    // Stored database and user, offered path and user, password (empty: cancel), stored afterwards.
    // clang-format off
    const std::array<QString, 7> cases[] = {
        {QString(), {}, pattern, {}, {}, absent, absent},
        {file, u"Müller"_s, file, u"MÜLLER"_s, {}, file, u"Müller"_s},
        {file, {}, file, {}, {}, file, absent},
        {QString(), u"ADMIN"_s, pattern, {}, {}, absent, u"ADMIN"_s}, // a user without a database is not read
        {fx.path(u"Old.vdb"_s), u"müller"_s, fx.path(u"Old.vdb"_s), u"MÜLLER"_s, u"geheim"_s, QFileInfo(file).absoluteFilePath(), u"Müller"_s}, // what was opened, by the name the database reports
    };
    // clang-format on
    for (const auto& [database, user, path, offered, password, storedDatabase, storedUser] :
         cases) {
        SCOPED_TRACE(offered.toStdString());
        QFile::remove(settings.fileName(AppTitle()));
        gDatabase.reset();
        windowsShown = 0;
        if (!database.isEmpty())
            store(SettingKey::database(), database);
        if (!user.isEmpty())
            store(SettingKey::user(), user);
        auto s = services();
        answerLogin(password);
        Main(s);
        EXPECT_EQ(offeredPath, path);
        EXPECT_EQ(offeredUser, offered);
        EXPECT_EQ(windowsShown, password.isEmpty() ? 0 : 1);
        EXPECT_EQ(gDatabase != nullptr, windowsShown == 1);
        EXPECT_EQ(stored(SettingKey::database()), storedDatabase);
        EXPECT_EQ(stored(SettingKey::user()), storedUser);
    }
}

TEST_F(modMainTest, WindowFailureShowsAStopBoxAnd364IsIgnored) {
    auto s = services();
    windowFailure = ErrorRecord(7, u"Out of memory"_s);
    boxes.expect(MsgAnswer::Ok);
    answerLogin(u"admin"_s);
    Main(s);
    const MessageBoxRequest expected{u"Out of memory (&H7)"_s, AppTitle(), MsgIcon::Stop,
                                     MsgButtons::Ok, MsgAnswer::Ok};
    EXPECT_EQ(boxes.last(), expected);

    gDatabase.reset();
    windowFailure = ErrorRecord(364, u"Object was unloaded"_s);
    answerLogin(u"admin"_s);
    Main(s);
}

TEST_F(modMainTest, SettingsFailureAfterLoginStillOpensTheWindow) {
    const QString blocker = settingsDir.filePath(u"blocker"_s);
    writeFile(blocker, {});
    SettingsStore broken(blocker);
    StartServices s = services();
    StartServices failing{broken, s.boxes, s.makeLogin, s.showMainWindow, false, s.programFolder};
    boxes.expect(MsgAnswer::Ok);
    answerLogin(u"admin"_s);
    OpenDatabaseWithLogin(failing, file, u"admin"_s);
    EXPECT_TRUE(gDatabase);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Stop);
    EXPECT_TRUE(boxes.last().text.endsWith(u"(&H4B)"_s)) << boxes.last().text.toStdString();
}

TEST_F(modMainTest, AutomationStartDoesNothing) {
    store(SettingKey::database(), u"unreadable"_s);
    auto s = services();
    s.automationStart = true;
    Main(s); // no login: a dialog would wait here for ever
    EXPECT_FALSE(gDatabase);
    EXPECT_EQ(windowsShown, 0);
    EXPECT_EQ(stored(SettingKey::database()), u"unreadable"_s);
}

} // namespace
