#include "FormatPool.h"
#include "ConversionFakes.h"
#include "NumberFormatting.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// What a pool made of values: the canonical text, or "error N".
QStringList outcomes(const QList<FormatPool::Result>& results) {
    QStringList texts;
    for (const FormatPool::Result& result : results) {
        try {
            texts << result.get();
        } catch (const ErrorRecord& e) {
            texts << u"error "_s + QString::number(e.number());
        }
    }
    return texts;
}

// Numbers in many notations, words, a value too long to wrap (error 6) among them.
QStringList mixedValues() {
    const QString tooLong = u"Tel. 030 1234567 "_s + QString(40000, u'x');
    QStringList values;
    for (int i = 0; i < 300; ++i) {
        const QString n = QString::number(2000000 + i * 7919);
        // clang-format off
        values << u"030 "_s + n << u"+49 30 "_s + n << u"0043 1 "_s + n << u"Tel. 089/"_s + n
               << u"0171 "_s + n << n << u"n/a"_s << u"030 "_s + n + u"-12"_s
               << (i % 50 == 0 ? tooLong : u"+1 (425) 555-"_s + n.right(4));
        // clang-format on
    }
    return values;
}

QList<FormatPool::Result> formatIn(FormatPool& pool, const QString& country, const QString& area,
                                   const QStringList& values) {
    DatabasePtr db = std::make_shared<LocationDatabase>(country, area);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    // The first batch makes the component on the caller's thread; the rest use every thread.
    QList<FormatPool::Result> results = pool.format(formatter, values.mid(0, 1));
    results += pool.format(formatter, values.mid(1));
    return results;
}

TEST(FormatPool, ManyThreadsGiveWhatOneGivesInOrder) {
    const QStringList values = mixedValues();
    FormatPool one(1);
    FormatPool four(4);
    const QStringList expected = outcomes(formatIn(one, u"DE"_s, u"30"_s, values));
    EXPECT_EQ(expected.count(u"error 6"_s), 6);
    EXPECT_EQ(expected[0], u"+49 (30) 2000000"_s);
    EXPECT_EQ(outcomes(formatIn(four, u"DE"_s, u"30"_s, values)), expected);
    // A new component (another run, another location) replaces the threads' copies.
    const QStringList vienna = outcomes(formatIn(one, u"AT"_s, u"1"_s, values));
    EXPECT_NE(vienna, expected);
    EXPECT_EQ(outcomes(formatIn(four, u"AT"_s, u"1"_s, values)), vienna);
}

TEST(FormatPool, ComponentThatCannotBeCopiedWorksOnTheCallersThreadOnly) {
    auto component = std::make_shared<RecordingComponent>();
    std::set<std::thread::id> threads;
    std::mutex mutex;
    component->complete = [&](const QString& number) -> QString {
        std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
        return number + u"!"_s;
    };
    ComponentFactory factory;
    factory.registerCreator(kPhoneApplicationName, [&] { return component; });
    DatabasePtr db = std::make_shared<BareDatabase>();
    KanonicalFormatter formatter(factory, db);
    FormatPool pool(4);
    pool.format(formatter, {u"1"_s});
    EXPECT_EQ(outcomes(pool.format(formatter, {u"2"_s, u"3"_s, u"4"_s})),
              (QStringList{u"2!"_s, u"3!"_s, u"4!"_s}));
    EXPECT_EQ(threads, std::set{std::this_thread::get_id()});
    EXPECT_EQ(component->completeCalls, 4);
}

} // namespace
