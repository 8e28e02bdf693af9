#include "vcoOpenDatabase.h"
#include "ErrorOf.h"
#include "GlobalDefs.h"
#include "LoginControls.h"
#include "LoginTestSupport.h"
#include "ScriptedMessageBoxes.h"
#include "StringConversions.h"
#include "StringTable.h"
#include "VdbFixture.h"
#include "VdbServer.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class vcoOpenDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguageOverride(UiLanguage::English);
        file = fx.create(u"Firm.vdb"_s, schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})}, u"Firma"_s));
        component = makeComponent();
    }
    void TearDown() override { setUiLanguageOverride(std::nullopt); }

    std::unique_ptr<vcoOpenDatabase> makeComponent() {
        return std::make_unique<vcoOpenDatabase>(
            boxes,
            [this] {
                ++serversMade;
                lastServer = std::make_shared<RecordingServer>(std::make_shared<VdbServer>(200));
                return lastServer;
            },
            FileChooser());
    }

    LoginControls ui() const { return LoginControls(&component->dialog()); }

    VdbFixture fx;
    QString file;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<vcoOpenDatabase> component;
    int serversMade = 0;
    std::shared_ptr<RecordingServer> lastServer;
};

// Ticked and greyed admin options and a locked path count; a later showing closed through the
// frame hands out nothing.
TEST_F(vcoOpenDatabaseTest, OpenDBTrimsUpperCasesAndLogsInOnce) {
    component->SetAdminModeDatabase(true);
    component->SetAdminModeUsers(true);
    component->SetFileNameEnabled(false);
    EXPECT_TRUE(ui().chkAdminDB->isChecked() && ui().chkAdminUsers->isChecked());
    EXPECT_FALSE(ui().chkAdminDB->isEnabled() || ui().chkAdminUsers->isEnabled());
    EXPECT_FALSE(ui().txtDBName->isEnabled() || ui().cmdFileOpen->isEnabled());
    EXPECT_FALSE(component->FileNameEnabled());
    whenModal([&](QWidget*) {
        ui().txtPassword->setText(u"admin"_s);
        ui().cmdOK->click();
    });
    const DatabasePtr db = component->OpenDB(u"  "_s + file + u" "_s, u" admin  "_s);
    ASSERT_TRUE(db);
    EXPECT_EQ(lastServer->lastPath + u'|' + lastServer->lastUser, file + u"|ADMIN"_s);
    EXPECT_EQ(lastServer->lastFlags, 0x30010);
    EXPECT_EQ(component->UserName(), u"ADMIN"_s);
    whenModal([&](QWidget* modal) { modal->close(); });
    EXPECT_FALSE(component->OpenDB(file, u"admin"_s));
    EXPECT_EQ(serversMade, 2);
    component->SetAdminModeEnabled(true);
    EXPECT_TRUE(ui().chkAdminDB->isEnabled() && ui().chkAdminUsers->isEnabled());
    // The database outlives the component.
    component.reset();
    EXPECT_EQ(db->Tables()->Count(), 1);
}

// Types text as key presses into the focus widget, letters beyond ASCII included.
void typeText(const QString& text) {
    for (const QChar c : text) {
        const auto key = static_cast<Qt::Key>(
            c.isLetterOrNumber() && c.unicode() < 0x100 ? c.toUpper().unicode() : 0);
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), key, QString(c),
                            Qt::NoModifier);
    }
}

// How the focus reaches the user-name box before typing.
enum class Reach { None, Start, Click };

TEST_F(vcoOpenDatabaseTest, UserNameBoxThroughTheDialog) {
    DatabaseSchema schema = schemaOf({tableOf(u"Kunden"_s, {u"Name"_s})});
    schema.users << UserSchema{u"AD"_s, u"ad"_s} << UserSchema{u"Weiß"_s, u"w"_s}
                 << UserSchema{u"kırmızı"_s, u"k"_s};
    const QString users = fx.create(u"Users.vdb"_s, schema);
    struct Case {
        const char* what;
        QString path; // "*.vdb": the focus starts in the user-name box, and the path is typed later
        QString remembered;
        Reach reach;
        QString typed;
        QString password; // empty: Enter right after the name
        QString sent;
        QString loggedIn; // empty: refused
    };
    // clang-format off
    const Case cases[] = {
        {"start of a preset, not completed", users, {}, Reach::Start, u"ad"_s, u"ad"_s, u"AD"_s, u"AD"_s},
        {"remembered name selected at the start", u"*.vdb"_s, u"admin"_s, Reach::Start, u"ad"_s, u"ad"_s, u"AD"_s, u"AD"_s},
        {"remembered name selected on a click", users, u"admin"_s, Reach::Click, u"ad"_s, u"ad"_s, u"AD"_s, u"AD"_s},
        {"typed sharp s stays", users, {}, Reach::Start, u"weiß"_s, u"w"_s, u"WEIß"_s, u"Weiß"_s},
        {"remembered sharp s stays", users, u"weiß"_s, Reach::None, {}, u"w"_s, u"WEIß"_s, u"Weiß"_s},
        {"dotless i", users, {}, Reach::Start, u"kırmızı"_s, u"k"_s, u"KIRMIZI"_s, u"kırmızı"_s},
        {"Enter after the name presses OK", users, {}, Reach::Start, u"dev"_s, {}, u"DEV"_s, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        component = makeComponent();
        QComboBox* box = ui().cboUserName;
        whenModal([&](QWidget* modal) {
            QApplication::setActiveWindow(modal);
            QApplication::processEvents();
            const auto focusIsOn = [](QWidget* widget) {
                const QWidget* focus = QApplication::focusWidget();
                return focus != nullptr && (focus == widget || focus->focusProxy() == widget);
            };
            // A remembered database and user start at the password.
            EXPECT_EQ(focusIsOn(ui().txtPassword), c.path == users && !c.remembered.isEmpty());
            if (c.reach == Reach::Click)
                QTest::mouseClick(box->lineEdit(), Qt::LeftButton, {},
                                  box->lineEdit()->rect().center());
            QApplication::processEvents();
            if (c.reach != Reach::None) {
                EXPECT_TRUE(focusIsOn(box));
                EXPECT_EQ(box->lineEdit()->selectedText(), box->currentText());
                typeText(c.typed);
                if (c.path != users)
                    ui().txtDBName->setText(users);
                if (!c.password.isEmpty())
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            typeText(c.password);
            if (c.loggedIn.isEmpty())
                boxes.expect(MsgAnswer::Ok);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (modal->isVisible())
                ui().cmdCancel->click();
        });
        const DatabasePtr db = component->OpenDB(c.path, c.remembered);
        EXPECT_EQ(lastServer->lastUser, c.sent);
        EXPECT_EQ(db ? db->Logon()->CurrentUser()->Name() : QString(), c.loggedIn);
    }
}

TEST_F(vcoOpenDatabaseTest, ServerCreationFailureCarriesTheComponentSource) {
    vcoOpenDatabase failing(
        boxes,
        []() -> std::shared_ptr<DbServer> {
            throw ErrorRecord(429, u"ActiveX component can't create object"_s, u"factory"_s);
        },
        FileChooser());
    const ErrorRecord e = errorOf([&] { failing.OpenDB(file, u"admin"_s); });
    EXPECT_EQ(ErrorText(e) + e.source(),
              u"ActiveX component can't create object (&H1AD)vcoOpenDatabase.OpenDB"_s);
}

} // namespace
