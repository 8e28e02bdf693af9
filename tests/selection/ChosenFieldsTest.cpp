#include "ChosenFields.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QStringList texts(const ChosenFields& list) {
    QStringList result;
    for (const FieldPair& pair : list.rows())
        result << pair.table + u'.' + pair.field;
    return result;
}

ChosenFields sample() {
    ChosenFields list;
    list.append(u"B"_s, u"y"_s);
    list.append(u"A"_s, u"z"_s);
    list.append(u"C"_s, u"x"_s);
    return list;
}

TEST(ChosenFields, HeaderClicksSortAndLaterRowsLandAtTheirSortedPlace) {
    const QStringList byFieldUp{u"C.x"_s, u"B.y"_s, u"A.z"_s};
    const QStringList byTableUp{u"A.z"_s, u"B.y"_s, u"C.x"_s};
    ChosenFields list = sample();
    EXPECT_FALSE(list.sorting());
    EXPECT_EQ(list.append(u"D"_s, u"w"_s), 3); // unsorted: at the end
    list.removeAt({3});
    list.columnSort(0); // same column as the initial state: flips to descending
    EXPECT_EQ(texts(list), (QStringList{u"C.x"_s, u"B.y"_s, u"A.z"_s}));
    list.columnSort(0);
    EXPECT_EQ(texts(list), byTableUp);
    list.columnSort(1); // a new column starts ascending
    EXPECT_EQ(texts(list), byFieldUp);
    list.columnSort(1);
    EXPECT_EQ(texts(list), byTableUp);
    EXPECT_TRUE(list.sorting());
    list.columnSort(0);
    list.columnSort(0); // descending by table
    EXPECT_EQ(list.append(u"BB"_s, u"v"_s), 1);
    EXPECT_EQ(texts(list), (QStringList{u"C.x"_s, u"BB.v"_s, u"B.y"_s, u"A.z"_s}));
    // Equal keys go after the rows already there.
    EXPECT_EQ(list.append(u"C"_s, u"a"_s), 1);
}

TEST(ChosenFields, PairsCompareExactlyAndRemovalForgetsThem) {
    ChosenFields list = sample();
    list.append(u"Kunden"_s, u"Telefon"_s);
    EXPECT_TRUE(list.contains(u"Kunden"_s, u"Telefon"_s));
    for (const auto& [table, field] : {std::pair{u"kunden"_s, u"Telefon"_s},
                                       {u"Kunden"_s, u"telefon"_s},
                                       {u"Kunden "_s, u"Telefon"_s},
                                       {u"B"_s, u"Telefon"_s}})
        EXPECT_FALSE(list.contains(table, field)) << table.toStdString() << field.toStdString();
    list.removeAt({3, 0, 3, 17, -1});
    EXPECT_EQ(texts(list), (QStringList{u"A.z"_s, u"C.x"_s}));
    EXPECT_FALSE(list.contains(u"B"_s, u"y"_s));
    EXPECT_FALSE(list.contains(u"Kunden"_s, u"Telefon"_s));
    EXPECT_TRUE(list.contains(u"C"_s, u"x"_s));
    list.clear();
    EXPECT_EQ(list.size(), 0);
    EXPECT_FALSE(list.contains(u"C"_s, u"x"_s));
}

TEST(PrefixMatches, StartOfNameInAnyLetterCase) {
    // clang-format off
    const std::tuple<QString, QString, bool> cases[] = {
        {u"Telefon"_s, u"tel"_s, true},
        {u"TELEFAX"_s, u"tel"_s, true},
        {u"Mobiltelefon"_s, u"tel"_s, false},
        {u"Tel"_s, u"Telef"_s, false},
        {u"Telef"_s, u"TELEF"_s, true},
        {u"Ärztetelefon"_s, u"ärzte"_s, true},
        {u"ÖLFAX"_s, u"öl"_s, true},
        {u"Telefon"_s, u""_s, false},
        {u""_s, u"a"_s, false},
        {u" Telefon"_s, u"Tel"_s, false},
    };
    // clang-format on
    for (const auto& [name, prefix, matches] : cases)
        EXPECT_EQ(prefixMatches(name, prefix), matches)
            << name.toStdString() << " / " << prefix.toStdString();
}

} // namespace
