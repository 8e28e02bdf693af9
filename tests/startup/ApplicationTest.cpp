#include "Application.h"
#include "CurrentDatabase.h"
#include "ErrorOf.h"
#include "ScriptedMessageBoxes.h"
#include "SettingsStore.h"
#include "VdbFixture.h"

#include <QTemporaryDir>

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
        VdbFixture::open(vdb.create(u"a.vdb"_s, schemaOf({tableOf(u"T"_s, {u"Telefon"_s})})));
    gDatabase = before;
    DatabasePtr empty;
    const ErrorRecord error = errorOf([&] { application.UseDatabase(empty); });
    EXPECT_EQ(error.number(), static_cast<qint32>(0x80042EE0));
    EXPECT_EQ(error.source(), u"VelTelnormer"_s);
    EXPECT_EQ(gDatabase, before);
    EXPECT_EQ(application.window(), nullptr);
}

TEST_F(ApplicationTest, EveryCallOpensOneMoreWindowOnTheLatestDatabase) {
    const auto schema = schemaOf({tableOf(u"T"_s, {u"Telefon"_s})});
    DatabasePtr first = VdbFixture::open(vdb.create(u"a.vdb"_s, schema));
    DatabasePtr second = VdbFixture::open(vdb.create(u"b.vdb"_s, schema));
    application.UseDatabase(first);
    const QPointer<FMain> firstWindow = application.window();
    application.UseDatabase(second);
    ASSERT_TRUE(firstWindow && application.window());
    EXPECT_NE(firstWindow.data(), application.window());
    EXPECT_TRUE(firstWindow->isVisible() && application.window()->isVisible());
    EXPECT_EQ(application.window()->parentWidget(), nullptr);
    EXPECT_EQ(gDatabase, second);
    EXPECT_NE(first, nullptr); // the caller's reference is left as it was
    delete firstWindow.data();
    delete application.window();
}

} // namespace
