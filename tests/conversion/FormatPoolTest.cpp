#include "FormatPool.h"
#include "ConversionFakes.h"
#include "NumberFormatting.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Numbers in many notations, repeats, words and a value too long to wrap (error 6) among them.
QStringList mixedValues() {
    const QString tooLong = u"Tel. 030 1234567 "_s + QString(40000, u'x');
    QStringList values;
    for (int i = 0; i < 300; ++i) {
        const QString n = QString::number(2000000 + i * 7919);
        // clang-format off
        values << u"030 "_s + n << u"+49 30 "_s + n << u"0043 1 "_s + n << u"Tel. 089/"_s + n
               << u"0171 "_s + n << n << u"n/a"_s << u"030 2000000"_s
               << (i % 50 == 0 ? tooLong : u"+1 (425) 555-"_s + n.right(4));
        // clang-format on
    }
    return values;
}

// What the pool gives for every value in order, the values named ahead in batches of 90 as the
// run names them: the canonical text, or "error N".
QStringList formatIn(FormatPool& pool, const QString& country, const QString& area,
                     const QStringList& values) {
    DatabasePtr db = std::make_shared<LocationDatabase>(country, area);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    QStringList texts;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i % 90 == 0)
            pool.ahead(formatter, values.mid(i, 180));
        try {
            texts << pool.format(formatter, values[i]).text;
        } catch (const ErrorRecord& e) {
            texts << u"error "_s + QString::number(e.number());
        }
    }
    return texts;
}

TEST(FormatPool, ManyThreadsGiveWhatOneGivesAndFormatEachTextOnce) {
    const QStringList values = mixedValues();
    FormatPool one(1);
    FormatPool four(4);
    const QStringList expected = formatIn(one, u"DE"_s, u"30"_s, values);
    EXPECT_EQ(expected[0], u"+49 (30) 2000000"_s);
    EXPECT_EQ(formatIn(four, u"DE"_s, u"30"_s, values), expected);
    EXPECT_EQ(four.formatted(), one.formatted());
    EXPECT_EQ(one.formatted() + one.remembered(), values.size());
    // "n/a" and "030 2000000" at least, formatted once each.
    EXPECT_GE(one.remembered(), 299 + 300);
    EXPECT_EQ(four.remembered(), one.remembered());
    // A new component (another location) forgets what the old one made.
    const QStringList vienna = formatIn(one, u"AT"_s, u"1"_s, values);
    EXPECT_NE(vienna, expected);
    EXPECT_EQ(formatIn(four, u"AT"_s, u"1"_s, values), vienna);
}

} // namespace
