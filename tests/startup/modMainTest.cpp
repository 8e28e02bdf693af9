#include "modMain.h"
#include "../login/LoginTestSupport.h"
#include "AppTitle.h"
#include "CurrentDatabase.h"
#include "FMain.h"
#include "FOpenDB.h"
#include "MessageBoxPrinting.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"
#include "VdbServer.h"
#include "vcoOpenDatabase.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

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
            offeredName = ui.lblAppName->text();
            offeredDescription = ui.lblAppDescription->text();
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
        closeStillOpenDialog();
    }

    // A dialog still open means the test went wrong: fail instead of waiting for ever.
    static void closeStillOpenDialog() {
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
    QString offeredName;
    QString offeredDescription;
};

TEST_F(modMainTest, RememberedEntriesAreOfferedAndCancelWritesNothing) {
    const QString pattern = u"/opt/telnormer/bin/*.vdb"_s;
    struct Case {
        QString database; // empty: none stored
        QString user;
        QString offeredPath;
        QString offeredUser;
    };
    // clang-format off
    const Case cases[] = {
        {{}, {}, pattern, {}},
        {file, u"Müller"_s, file, u"MÜLLER"_s},
        {file, {}, file, {}},
        {{}, u"ADMIN"_s, pattern, {}}, // a user without a database is not read
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offeredUser.toStdString());
        QFile::remove(settings.fileName(AppTitle()));
        if (!c.database.isEmpty())
            store(SettingKey::database(), c.database);
        if (!c.user.isEmpty())
            store(SettingKey::user(), c.user);
        auto s = services();
        answerLogin(QString());
        Main(s);
        EXPECT_EQ(offeredPath, c.offeredPath);
        EXPECT_EQ(offeredUser, c.offeredUser);
        EXPECT_EQ(offeredName, AppTitle());
        EXPECT_FALSE(offeredDescription.isEmpty());
        EXPECT_FALSE(gDatabase);
        EXPECT_EQ(windowsShown, 0);
        EXPECT_EQ(stored(SettingKey::database()),
                  c.database.isEmpty() ? u"<absent>"_s : c.database);
        EXPECT_EQ(stored(SettingKey::user()), c.user.isEmpty() ? u"<absent>"_s : c.user);
    }
}

TEST_F(modMainTest, SuccessfulLoginRewritesBothValuesAndShowsTheWindow) {
    store(SettingKey::database(), file);
    store(SettingKey::user(), u"müller"_s);
    auto s = services();
    answerLogin(u"geheim"_s);
    Main(s);
    ASSERT_TRUE(gDatabase);
    EXPECT_EQ(windowsShown, 1);
    EXPECT_EQ(stored(SettingKey::database()), QFileInfo(file).absoluteFilePath());
    // The name the database reports, not the one typed.
    EXPECT_EQ(stored(SettingKey::user()), u"Müller"_s);
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
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(modMainTest, SettingsFailureAfterLoginStillOpensTheWindow) {
    QFile blocker(settingsDir.filePath(u"blocker"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore broken(blocker.fileName());
    StartServices s = services();
    StartServices failing{broken, s.boxes, s.makeLogin, s.showMainWindow, false, s.programFolder};
    boxes.expect(MsgAnswer::Ok);
    answerLogin(u"admin"_s);
    OpenDatabaseWithLogin(failing, file, u"admin"_s);
    EXPECT_TRUE(gDatabase);
    EXPECT_EQ(boxes.last().icon, MsgIcon::Stop);
    EXPECT_TRUE(boxes.last().text.endsWith(u"(&H4B)"_s)) << boxes.last().text.toStdString();
}

// A person with the keyboard alone: Alt+D to the path, Alt+U to the user, Alt+P to the password,
// Enter; the main window opens titled with the database's shown name.
TEST_F(modMainTest, KeyboardOnlyLoginReachesTheMainWindow) {
    std::unique_ptr<FMain> window;
    StartServices s = services();
    s.showMainWindow = [&] {
        window = std::make_unique<FMain>(gDatabase, settings, boxes);
        window->Form_Load();
        window->show();
    };
    QTimer::singleShot(0, [this] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        QApplication::setActiveWindow(dialog);
        QApplication::processEvents();
        auto type = [](const QString& text) {
            QWidget* focus = QApplication::focusWidget();
            for (const QChar c : text)
                QTest::keyClick(focus, c.toLatin1());
        };
        QTest::keyClick(dialog, Qt::Key_D, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        type(file);
        QTest::keyClick(dialog, Qt::Key_U, Qt::AltModifier);
        type(u"admin"_s);
        QTest::keyClick(dialog, Qt::Key_P, Qt::AltModifier);
        type(u"admin"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    closeStillOpenDialog();
    Main(s);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), u"Firma - Veltrano Telnormer"_s);
    EXPECT_EQ(stored(SettingKey::user()), u"ADMIN"_s);
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
