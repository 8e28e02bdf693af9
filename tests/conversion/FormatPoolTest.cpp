#include "FormatPool.h"
#include "ConversionFakes.h"
#include "NumberFormatting.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

// Fails on "boom" while failures last; its copies for other threads always do.
class FailingComponent : public PhoneComponent {
public:
    FailingComponent(std::shared_ptr<std::atomic<int>> failures, bool copy = false)
        : failures_(std::move(failures))
        , copy_(copy) {}
    void UseDatabase(DatabasePtr&) override {}
    void SetVisible(bool) override {}
    QString CompleteNumber(QString& number) override {
        if (number == u"boom"_s && (copy_ ? ++copyFailures > 0 : failures_->fetch_sub(1) > 0))
            throw ErrorRecord(ErrorNumber::Overflow, u"boom"_s);
        return number + u" done"_s;
    }
    std::shared_ptr<PhoneComponent> copyForThread() const override {
        return std::make_shared<FailingComponent>(failures_, true);
    }
    static inline std::atomic<int> copyFailures{0};

private:
    std::shared_ptr<std::atomic<int>> failures_;
    bool copy_;
};

// A failure, here or on another thread, is never remembered: the run's thread sees it and the
// same text asked again is formatted again.
TEST(FormatPool, AFailureIsFormattedAgain) {
    for (const int threads : {1, 4}) {
        const auto failures = std::make_shared<std::atomic<int>>(1);
        ComponentFactory factory;
        factory.registerCreator(kPhoneApplicationName,
                                [&] { return std::make_shared<FailingComponent>(failures); });
        DatabasePtr db = std::make_shared<BareDatabase>();
        KanonicalFormatter formatter(factory, db);
        FormatPool pool(threads);
        EXPECT_EQ(pool.format(formatter, u"first"_s).text, u"first done"_s);
        FailingComponent::copyFailures = 0;
        pool.ahead(formatter, {u"boom"_s});
        while (threads > 1 && FailingComponent::copyFailures == 0)
            std::this_thread::yield();
        EXPECT_THROW(pool.format(formatter, u"boom"_s), ErrorRecord) << threads;
        EXPECT_EQ(pool.format(formatter, u"boom"_s).text, u"boom done"_s);
        EXPECT_EQ(pool.format(formatter, u"boom"_s).text, u"boom done"_s);
        EXPECT_EQ(pool.formatted(), 2);
        EXPECT_EQ(pool.remembered(), 1);
    }
}

// The next run's component, here for another location, must not get what the old one made,
// though the pool still remembers it and its threads may still be at the old texts.
TEST(FormatPool, ANewComponentForgetsWhatTheOldOneMade) {
    const QStringList locals{u"5123456"_s, u"5234567"_s, u"5876543"_s};
    for (const int threads : {1, 4}) {
        FormatPool pool(threads);
        DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
        KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
        EXPECT_EQ(pool.format(formatter, locals[0]).text, u"+49 (30) 5123456"_s);
        pool.ahead(formatter, locals);
        EXPECT_EQ(pool.format(formatter, locals[1]).text, u"+49 (30) 5234567"_s);
        formatter.release();
        db = std::make_shared<LocationDatabase>(u"AT"_s, u"1"_s);
        for (const QString& local : {locals[2], locals[0], locals[1]})
            EXPECT_EQ(pool.format(formatter, local).text, u"+43 (1) "_s + local) << threads;
    }
}

// The same text is remembered apart for records of different countries.
TEST(FormatPool, RemembersATextByItsRecordsCountry) {
    FormatPool pool(2);
    DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    const QString zurich = u"044 123 45 67"_s;
    for (int round = 0; round < 3; ++round) {
        pool.ahead(formatter, {zurich, zurich, zurich}, {u"CH"_s, QString(), u"C"_s});
        EXPECT_EQ(pool.format(formatter, zurich, u"CH"_s).text, u"+41 (44) 1234567"_s);
        EXPECT_EQ(pool.format(formatter, zurich).text, u"+49 (441) 234567"_s);
        EXPECT_EQ(pool.format(formatter, zurich, u"C"_s).reason, UnreadableReason::UnknownCountry);
    }
    EXPECT_EQ(pool.formatted(), 3);
}

} // namespace
