#include "ConversionFakes.h"
#include "ErrorOf.h"
#include "NumberFormatting.h"
#include "PhoneApplication.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// clang-format off
const struct { QString stored, canonical; bool changed; } kChanged[] = {
    {u"+49 30 1234567"_s, u"+49 (30) 1234567"_s, false}, {u"030-1234567"_s, u"030 1234567"_s, true},
    {u"030 12"_s, u"030  12"_s, false}, {u"030\t12"_s, u"030 12"_s, true},
    {u"(030)1234567"_s, u"030 1234567"_s, false}, {u"030 1234567"_s, u"+49 (30) 1234567"_s, true},
    {u"030\u00A012"_s, u"030 12"_s, true}, {u"Tel. 030"_s, u"tel. 030"_s, true},
    {u""_s, u" ( ) "_s, false}, {u"030 12"_s, u"030 12 "_s, false},
};
// clang-format on

TEST(NumberChanged, IgnoresOnlyBlanksAndBrackets) {
    for (const auto& c : kChanged)
        EXPECT_EQ(NumberChanged(c.stored, c.canonical), c.changed) << c.stored.toStdString();
}

// Any failure to create becomes 429; the factory's own error records pass through.
TEST(ComponentFactory, CreatesANewComponentPerCallOrFailsWith429) {
    ComponentFactory factory;
    EXPECT_EQ(errorOf([&] { factory.create(kPhoneApplicationName); }).number(), 429);
    factory.registerCreator(u"Throws"_s, []() -> std::shared_ptr<PhoneComponent> {
        throw std::runtime_error("no licence");
    });
    factory.registerCreator(u"ThrowsInt"_s, []() -> std::shared_ptr<PhoneComponent> { throw 7; });
    factory.registerCreator(u"Null"_s, [] { return std::shared_ptr<PhoneComponent>(); });
    factory.registerCreator(u"Empty"_s, {});
    factory.registerCreator(u"Record"_s, []() -> std::shared_ptr<PhoneComponent> {
        throw ErrorRecord(ErrorNumber::FileAccess, u"Path/File access error"_s);
    });
    for (const QString& name : {u"Throws"_s, u"ThrowsInt"_s, u"Null"_s, u"Empty"_s})
        EXPECT_EQ(errorOf([&] { factory.create(name); }).number(), 429) << name.toStdString();
    EXPECT_EQ(errorOf([&] { factory.create(u"Record"_s); }).number(), ErrorNumber::FileAccess);
    int created = 0;
    factory.registerCreator(u"Counting"_s, [&] {
        ++created;
        return std::make_shared<RecordingComponent>();
    });
    EXPECT_NE(factory.create(u"Counting"_s), factory.create(u"counting"_s));
    EXPECT_EQ(created, 2);
}

// --- FormatKanonical with the real component ---

struct KanonicalCase {
    QString input;
    QString expected;
    UnreadableReason reason = UnreadableReason::None;
};

using R = UnreadableReason;

// clang-format off
const KanonicalCase kKanonical[] = {
    {u"Tel. 030 1234567"_s, u"Tel. +49 (30) 1234567"_s},
    {u"+49 30 1234567 \u260E"_s, u"+49 (30) 1234567 \u260E"_s},
    {u"\u212A 030 1234567"_s, u"\u212A +49 (30) 1234567"_s},
    {u"Büro 030 1234567 Durchwahl 12 (Frau Weber)"_s, u"Büro +49 (30) 1234567 Durchwahl 12 (Frau Weber)"_s},
    {u"Tel. +49 (30) 1234567 privat"_s, u"Tel. +49 (30) 1234567 privat"_s},
    {u"Tel. abc 12 x"_s, u"Tel. abc 12 x"_s, R::NoValidNumber},
    {u"Tel. 030 1234567 oder 0171 7654321"_s, u"Tel. 030 1234567 oder 0171 7654321"_s, R::TwoNumbers},
    {u"030 1234567 *"_s, u"+49 (30) 1234567 *"_s},
    {u"030 1234567\t"_s, u"+49 (30) 1234567\t"_s},
    {u"Tel.\u00A0030\u2013123\u202F45\u202F67"_s, u"Tel.\u00A0+49 (30) 1234567"_s},
    {u"Telefon (privat): 1234567"_s, u"Telefon (privat): +49 (30) 1234567"_s},
    {u"PLZ 10115 Berlin"_s, u"PLZ 10115 Berlin"_s, R::NotTelephoneWords},
    {u"Fax 030 1234567 \uFFFD"_s, u"Fax 030 1234567 \uFFFD"_s, R::InvalidBytes},
    {u"Web: http://example.com/030-1234567"_s, u"Web: http://example.com/030-1234567"_s, R::InAddress},
    {u"Betrag: 1.234,56 EUR"_s, u"Betrag: 1.234,56 EUR"_s, R::DecimalNumber},
};
// clang-format on

TEST(KanonicalFormatter, FormatsInBerlin) {
    DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    for (const KanonicalCase& c : kKanonical) {
        SCOPED_TRACE(c.input.toStdString());
        QString value = c.input;
        QString once = formatter.FormatKanonical(value);
        EXPECT_EQ(once, c.expected);
        EXPECT_EQ(value, c.input);
        EXPECT_EQ(formatter.FormatKanonical(once), c.expected) << "not a fixed point";
        EXPECT_EQ(formatter.format(value).reason, c.reason);
    }
}

TEST(KanonicalFormatter, LongValueWithLettersOverflows) {
    DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    QString atLimit = u"Tel. 030 1234567 "_s + QString(32767 - 17, u'x');
    ASSERT_EQ(atLimit.size(), 32767);
    EXPECT_EQ(formatter.FormatKanonical(atLimit),
              u"Tel. +49 (30) 1234567 "_s + QString(32767 - 17, u'x'));

    QString overLimit = atLimit + u'x';
    EXPECT_EQ(errorOf([&] { formatter.FormatKanonical(overLimit); }).number(),
              ErrorNumber::Overflow);
    EXPECT_EQ(formatter.format(overLimit).reason, UnreadableReason::TooLong) << "no error here";
    // Not even a value the component leaves alone escapes it.
    QString unchanged(40000, u'x');
    EXPECT_EQ(errorOf([&] { formatter.FormatKanonical(unchanged); }).number(),
              ErrorNumber::Overflow);
    // Without letters there is nothing to wrap.
    QString noLetters = u"030 1234567"_s + QString(40000, u' ');
    EXPECT_EQ(formatter.FormatKanonical(noLetters), u"+49 (30) 1234567"_s);
}

// --- FormatKanonical's component handling, with a recording component ---

class KanonicalFormatterComponent : public ::testing::Test {
protected:
    KanonicalFormatterComponent() {
        factory_.registerCreator(
            kPhoneApplicationName, [this]() -> std::shared_ptr<PhoneComponent> {
                ++created_;
                if (failCreation_)
                    throw ErrorRecord(429, u"ActiveX component can't create object"_s);
                last_ = std::make_shared<RecordingComponent>();
                last_->failUseDatabase = failUseDatabase_;
                last_->replacement = replacement_;
                last_->complete = [](const QString& n) -> QString {
                    return u"<"_s + n + u">"_s;
                };
                return last_;
            });
    }

    ComponentFactory factory_;
    DatabasePtr database_ = std::make_shared<BareDatabase>();
    std::shared_ptr<RecordingComponent> last_;
    DatabasePtr replacement_;
    int created_ = 0;
    bool failCreation_ = false;
    bool failUseDatabase_ = false;
};

// Made once, prepared once (the database it hands back replaces the formatter's), hidden, until
// released; a failed creation is tried again, a failed preparation is not repeated.
TEST_F(KanonicalFormatterComponent, CreatedOncePreparedOnceUntilReleased) {
    replacement_ = std::make_shared<BareDatabase>();
    const DatabasePtr original = database_;
    KanonicalFormatter formatter(factory_, database_);
    EXPECT_FALSE(formatter.hasComponent());
    for (int i = 0; i < 50; ++i) {
        QString value = u"030 1"_s;
        EXPECT_EQ(formatter.FormatKanonical(value), u"<030 1>"_s);
    }
    EXPECT_EQ(created_, 1);
    EXPECT_EQ(last_->useDatabaseCalls, 1);
    EXPECT_EQ(last_->seenDatabase, original);
    EXPECT_EQ(database_, replacement_);
    EXPECT_EQ(last_->setVisibleCalls, 1);
    EXPECT_FALSE(last_->lastVisible);
    EXPECT_EQ(last_->completeCalls, 50);
    formatter.release();
    EXPECT_FALSE(formatter.hasComponent());

    QString value = u"030 1"_s;
    failCreation_ = true;
    EXPECT_EQ(errorOf([&] { formatter.FormatKanonical(value); }).number(), 429);
    EXPECT_FALSE(formatter.hasComponent());
    failCreation_ = false;
    failUseDatabase_ = true;
    EXPECT_EQ(errorOf([&] { formatter.FormatKanonical(value); }).number(),
              serverErrorNumber(0x1001));
    EXPECT_TRUE(formatter.hasComponent());
    EXPECT_EQ(formatter.FormatKanonical(value), u"<030 1>"_s);
    EXPECT_EQ(created_, 3);
    EXPECT_EQ(last_->useDatabaseCalls, 1);
    EXPECT_EQ(last_->setVisibleCalls, 0) << "SetVisible comes after UseDatabase";
}

// Prefix up to the first digit, suffix after the last, kept as written.
TEST_F(KanonicalFormatterComponent, WrapsWordsAroundWhatTheComponentReturns) {
    KanonicalFormatter formatter(factory_, database_);
    // clang-format off
    const struct { QString input, expected; } cases[] = {
        {u"Tel. 030 1 privat"_s, u"Tel. <Tel. 030 1 privat> privat"_s}, {u"Ä 030 1"_s, u"Ä <Ä 030 1>"_s},
        {u"Fax ++((030"_s, u"Fax <Fax ++((030>"_s}, {u"(+030) x"_s, u"<(+030) x>) x"_s},
        {u"x0"_s, u"x<x0>"_s}, {u"abc"_s, u"<abc>"_s},
    };
    // clang-format on
    for (const auto& c : cases) {
        QString value = c.input;
        EXPECT_EQ(formatter.FormatKanonical(value), c.expected) << c.input.toStdString();
    }
}

} // namespace
