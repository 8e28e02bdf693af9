#include "StringTable.h"
#include "ErrorRecord.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

class StringTableTest : public ::testing::Test {
protected:
    void TearDown() override { setUiLanguageOverride(std::nullopt); }
};

struct TextCase {
    int id;
    QString german;
    QString english;
};

TEST_F(StringTableTest, TextsKeepTheirExactWordingAndBlanks) {
    const TextCase cases[] = {
        {IDS_MAIN_TITLE_SUFFIX, u" - Veltrano Telnormer"_s, u" - Veltrano Telnormer"_s},
        {IDS_MAIN_INFO, u"Bitte wählen Sie Felder mit Telefonnummern aus:"_s,
         u"Choose the fields with telefon numbers:"_s},
        {IDS_MAIN_FIELDS, u"zugehörige Felder"_s, u"releated fields"_s},
        {IDS_MAIN_AUTO_CHOOSE, u"Automatisches Einlesen aller Felder, die mit "_s,
         u"Automatic choose fields which with "_s},
        {IDS_RUN_CONVERTED, u" Datensätze konvertiert."_s, u" record(s) converted."_s},
        {IDS_MAIN_COLUMN_TABLE, u"Tabelle"_s, u"Table"_s},
        {IDS_MAIN_COLUMN_FIELD, u"Feld"_s, u"Field"_s},
        {IDS_LOGIN_FILE_FILTER, u"Veltrano Datenbanken (*.vdb)|*.vdb"_s,
         u"Veltrano databases (*.vdb)|*.vdb"_s},
        {IDS_RUN_PROGRESS, u"Überprüfe Datensätze in Tabelle %s, %s Datensätze von %s bearbeitet"_s,
         u"Checking records in table %s, %s from %s records checked."_s},
        {IDS_CLOSE, u"Schließen"_s, u"Close"_s},
        {IDS_APP_DESCRIPTION, u"Telefonnummern in kanonisches Format umwandeln"_s,
         u"Convert telephone numbers in canonical format"_s},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(LoadResourceString(c.id, UiLanguage::German), c.german) << c.id;
        EXPECT_EQ(LoadResourceString(c.id, UiLanguage::English), c.english) << c.id;
    }
}

TEST_F(StringTableTest, OverrideChoosesTheLanguage) {
    setUiLanguageOverride(UiLanguage::German);
    EXPECT_EQ(uiLanguage(), UiLanguage::German);
    EXPECT_EQ(LoadResourceString(IDS_MAIN_COLUMN_TABLE), u"Tabelle"_s);
    setUiLanguageOverride(UiLanguage::English);
    EXPECT_EQ(LoadResourceString(IDS_MAIN_COLUMN_TABLE), u"Table"_s);
    setUiLanguageOverride(std::nullopt);
    EXPECT_EQ(uiLanguage(), systemUiLanguage());
}

TEST_F(StringTableTest, MissingIdsFailWith326) {
    const int missing[] = {4,
                           999,
                           0,
                           4000,
                           -1,
                           65536,
                           std::numeric_limits<int>::min(),
                           std::numeric_limits<int>::max(),
                           0x7FFC0000};
    for (const int id : missing) {
        for (const UiLanguage language : {UiLanguage::German, UiLanguage::English}) {
            try {
                LoadResourceString(id, language);
                ADD_FAILURE() << "id " << id << " was found";
            } catch (const ErrorRecord& e) {
                EXPECT_EQ(e.number(), ErrorNumber::ResourceNotFound) << id;
                EXPECT_TRUE(e.description().contains(QString::number(id))) << id;
            }
        }
    }
}

TEST_F(StringTableTest, EveryIdHasBothLanguagesAndIsUnique) {
    const int ids[] = {
#define STRING_ENTRY(id, constant, german, english) id,
#include "StringTable.def"
#undef STRING_ENTRY
    };
    for (const int id : ids) {
        EXPECT_GE(id, 0);
        EXPECT_LE(id, 65535);
        EXPECT_FALSE(LoadResourceString(id, UiLanguage::German).isEmpty()) << id;
        EXPECT_FALSE(LoadResourceString(id, UiLanguage::English).isEmpty()) << id;
        EXPECT_EQ(std::count(std::begin(ids), std::end(ids), id), 1) << "duplicate id " << id;
    }
}

} // namespace
