#include "SettingsStore.h"
#include "AppTitle.h"
#include "ErrorOf.h"
#include "StringConversions.h"
#include "TestProcess.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore store{dir.path()};

    QString get(const QString& key, const QString& def) {
        return store.GetSetting(AppTitle(), SettingKey::section(), key, def);
    }
    void put(const QString& key, const QString& value) {
        store.SaveSetting(AppTitle(), SettingKey::section(), key, value);
    }
};

TEST_F(SettingsStoreTest, DefaultsUntilStoredThenAwkwardValuesRoundTrip) {
    EXPECT_EQ(get(SettingKey::user(), u"default"_s), u"default"_s);
    // clang-format off
    const QString values[] = {
        QString(), // stored empty reads back empty, not the default
        u"/home/anna/Daten/Kunden.vdb"_s, u"C:\\Daten\\Firm.vdb"_s, u"a, b"_s, u"a,b"_s, u"\"quoted\""_s, u"  blanks  "_s,
        u"Tél; #not a comment"_s, u"Ä=ö"_s, u"true"_s, u"@Variant(x)"_s, u"line\nbreak"_s, u"[Settings]"_s,
    };
    // clang-format on
    for (const QString& value : values) {
        put(SettingKey::user(), value);
        EXPECT_EQ(get(SettingKey::user(), u"default"_s), value);
    }
}

TEST_F(SettingsStoreTest, ValuesLiveInTheSectionOfTheApplication) {
    put(SettingKey::database(), u"x.vdb"_s);
    EXPECT_EQ(store.GetSetting(u"Other"_s, SettingKey::section(), SettingKey::database(), u"d"_s),
              u"d"_s);
    EXPECT_EQ(store.GetSetting(AppTitle(), u"Other"_s, SettingKey::database(), u"d"_s), u"d"_s);
    EXPECT_EQ(SettingsStore(dir.path())
                  .GetSetting(AppTitle(), SettingKey::section(), SettingKey::database()),
              u"x.vdb"_s);
}

TEST_F(SettingsStoreTest, HandEditedListValueReadsAsItsText) {
    writeFile(store.fileName(AppTitle()), "[Settings]\nFieldSearchPrefix=Tel, Fax\n");
    EXPECT_EQ(get(SettingKey::fieldSearchPrefix(), u"Telef"_s), u"Tel, Fax"_s);
}

TEST_F(SettingsStoreTest, UnreadableFileOrUnwritableFolderIsAClearError) {
    // A folder where the file should be cannot be read, even by root.
    ASSERT_TRUE(QDir().mkpath(store.fileName(AppTitle())));
    const ErrorRecord e = errorOf([&] { get(SettingKey::database(), {}); });
    EXPECT_EQ(e.number(), ErrorNumber::FileAccess);
    EXPECT_TRUE(e.description().contains(store.fileName(AppTitle())));
    EXPECT_THROW(put(SettingKey::database(), u"x"_s), ErrorRecord);
}

TEST(SettingsStoreDefault, UsesThePerUserConfigFolderOutsideTheRealHome) {
    const QString file = SettingsStore().fileName(AppTitle());
    EXPECT_TRUE(file.endsWith(u"/Veltrano Telnormer.ini"_s)) << file.toStdString();
    EXPECT_TRUE(file.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME"))) << file.toStdString();
}

} // namespace
