#include "StringTable.h"
#include "ErrorOf.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

TEST(StringTable, OverrideChoosesTheLanguage) {
    for (const UiLanguage language : {UiLanguage::German, UiLanguage::English}) {
        setUiLanguageOverride(language);
        EXPECT_EQ(LoadResourceString(IDS_MAIN_COLUMN_TABLE),
                  LoadResourceString(IDS_MAIN_COLUMN_TABLE, language));
    }
    EXPECT_NE(LoadResourceString(IDS_MAIN_COLUMN_TABLE, UiLanguage::German),
              LoadResourceString(IDS_MAIN_COLUMN_TABLE, UiLanguage::English));
    setUiLanguageOverride(std::nullopt);
    EXPECT_EQ(uiLanguage(), systemUiLanguage());
}

TEST(StringTable, MissingIdsFailWith326) {
    // clang-format off
    const int missing[] = {4, 999, 0, 4000, -1, 65536, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 0x7FFC0000};
    // clang-format on
    for (const int id : missing) {
        for (const UiLanguage language : {UiLanguage::German, UiLanguage::English}) {
            const ErrorRecord e = errorOf([&] { LoadResourceString(id, language); });
            EXPECT_EQ(e.number(), ErrorNumber::ResourceNotFound) << id;
            EXPECT_TRUE(e.description().contains(QString::number(id))) << id;
        }
    }
}

TEST(StringTable, EveryIdHasBothLanguagesAndIsUnique) {
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
