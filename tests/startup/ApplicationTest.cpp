#include "Application.h"
#include "CurrentDatabase.h"
#include "ErrorOf.h"
#include "FindControl.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "VdbFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void TearDown() override { gDatabase.reset(); }

    VdbFixture vdb;
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.path()};
    ScriptedMessageBoxes boxes;
    Application application{settings, boxes};
};

TEST_F(ApplicationTest, EmptyReferenceFailsAndChangesNothing) {
    const DatabasePtr before =
        VdbFixture::open(vdb.create(u"a.vdb"_s, schemaOf({tableOf(u"T"_s, {u"Fon"_s})})));
    gDatabase = before;
    DatabasePtr empty;
    const ErrorRecord error = errorOf([&] { application.UseDatabase(empty); });
    EXPECT_EQ(error.number(), static_cast<qint32>(0x80042EE0));
    EXPECT_EQ(error.source(), u"VelTelnormer"_s);
    EXPECT_EQ(gDatabase, before);
    EXPECT_EQ(application.window(), nullptr);
}

TEST_F(ApplicationTest, EveryCallOpensOneMoreWindowThatKeepsItsOwnDatabase) {
    DatabasePtr first =
        VdbFixture::open(vdb.create(u"a.vdb"_s, schemaOf({tableOf(u"T"_s, {u"Fon"_s})})));
    DatabasePtr second =
        VdbFixture::open(vdb.create(u"b.vdb"_s, schemaOf({tableOf(u"T"_s, {u"Fax"_s})})));
    application.UseDatabase(first);
    const QPointer<FMain> firstWindow = application.window();
    application.UseDatabase(second);
    ASSERT_TRUE(firstWindow && application.window());
    EXPECT_NE(firstWindow.data(), application.window());
    EXPECT_TRUE(firstWindow->isVisible() && application.window()->isVisible());
    EXPECT_EQ(application.window()->parentWidget(), nullptr);
    EXPECT_EQ(gDatabase, second);
    // Each window lists the fields of the database it was opened on, not of the current one.
    for (const auto& [window, field] :
         {std::pair{firstWindow.data(), u"Fon"_s}, std::pair{application.window(), u"Fax"_s}}) {
        window->lvwTables_ItemClick();
        const QTreeWidgetItem* listed =
            window->findChild<QTreeWidget*>(u"lvwFields"_s)->topLevelItem(0);
        ASSERT_NE(listed, nullptr);
        EXPECT_EQ(listed->text(0), field);
    }
    EXPECT_NE(first, nullptr); // the caller's reference is left as it was
    delete firstWindow.data();
    delete application.window();
}

// Two windows on one database: while the first one's run works, the second ignores what could
// start or change anything, and UseDatabase opens no window beside the run.
TEST_F(ApplicationTest, WhileARunIsUnderWayOtherWindowsAndUseDatabaseWait) {
    const QString path = vdb.create(u"a.vdb"_s, schemaOf({tableOf(u"T"_s, {u"Telefon"_s})}));
    VdbFixture::insert(path, u"T"_s, {u"Telefon"_s},
                       QList<QVariantList>(120, QVariantList{u"030 1234567"_s}));
    DatabasePtr db = VdbFixture::open(path);
    application.UseDatabase(db);
    const QPointer<FMain> first = application.window();
    application.UseDatabase(db);
    const QPointer<FMain> second = application.window();
    qint32 useDuringRun = 0;
    QTimer::singleShot(0, second, [&] {
        QApplication::setActiveWindow(second);
        QTest::mouseClick(child<QPushButton>(second, "cmdStart"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(second, "cmdRemoveAllFields"), Qt::LeftButton);
        QTest::keyClicks(child<QLineEdit>(second, "txtPrefixAutoAdd"), u"x"_s);
        second->cmdPreview_Click();
        EXPECT_FALSE(second->close());
        useDuringRun = errorOf([&] { application.UseDatabase(db); }).number();
    });
    boxes.expect(MsgAnswer::No); // the first run's "show log?", and no box of another run
    QTest::mouseClick(child<QPushButton>(first, "cmdStart"), Qt::LeftButton);
    EXPECT_EQ(first->lastRun().converted, 120);
    EXPECT_EQ(useDuringRun, kUseDatabaseDuringRun);
    EXPECT_EQ(application.window(), second.data());
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(second->lastRun().started);
    EXPECT_EQ(second->chosenFields().rows().size(), 1);
    EXPECT_EQ(child<QLineEdit>(second, "txtPrefixAutoAdd")->text(), u"Telef"_s);
    // Once the run has ended, the second window and UseDatabase work again.
    EXPECT_TRUE(second->close());
    application.UseDatabase(db);
    EXPECT_NE(application.window(), nullptr);
    delete first.data();
    delete application.window();
}

} // namespace
