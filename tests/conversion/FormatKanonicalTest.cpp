#include "ConversionFakes.h"
#include "NumberFormatting.h"
#include "PhoneApplication.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

qint32 errorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ErrorRecord& e) {
        return e.number();
    }
    return 0;
}

// --- NumberChanged ---

struct ChangedCase {
    QString stored;
    QString canonical;
    bool changed;
};

class NumberChangedCases : public ::testing::TestWithParam<ChangedCase> {};

TEST_P(NumberChangedCases, IgnoresOnlyBlanksAndBrackets) {
    EXPECT_EQ(NumberChanged(GetParam().stored, GetParam().canonical), GetParam().changed)
        << GetParam().stored.toStdString() << " / " << GetParam().canonical.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberChangedCases,
    ::testing::Values(ChangedCase{u"+49 30 1234567"_s, u"+49 (30) 1234567"_s, false},
                      ChangedCase{u"030-1234567"_s, u"030 1234567"_s, true},
                      ChangedCase{u"030 12"_s, u"030  12"_s, false},
                      ChangedCase{u"030\t12"_s, u"030 12"_s, true},
                      ChangedCase{u"(030)1234567"_s, u"030 1234567"_s, false},
                      ChangedCase{u"030 1234567"_s, u"+49 (30) 1234567"_s, true},
                      ChangedCase{u"030\u00A012"_s, u"030 12"_s, true},
                      ChangedCase{u"Tel. 030"_s, u"tel. 030"_s, true},
                      ChangedCase{u""_s, u" ( ) "_s, false},
                      ChangedCase{u"030 12"_s, u"030 12 "_s, false}));

// --- ComponentFactory ---

class FailingToCreate : public std::runtime_error {
public:
    FailingToCreate()
        : std::runtime_error("no licence") {}
};

TEST(ComponentFactory, UnknownNameFailsWith429) {
    const ComponentFactory factory;
    try {
        factory.create(kPhoneApplicationName);
        FAIL() << "created";
    } catch (const ErrorRecord& e) {
        EXPECT_EQ(e.number(), 429);
        EXPECT_EQ(e.description(), u"ActiveX component can't create object"_s);
        EXPECT_EQ(e.source(), kPhoneApplicationName);
    }
}

TEST(ComponentFactory, FailingCreatorsFailWith429ButErrorRecordsPassThrough) {
    ComponentFactory factory;
    factory.registerCreator(u"Throws"_s,
                            []() -> std::shared_ptr<PhoneComponent> { throw FailingToCreate(); });
    factory.registerCreator(u"ThrowsInt"_s, []() -> std::shared_ptr<PhoneComponent> { throw 7; });
    factory.registerCreator(u"Null"_s, [] { return std::shared_ptr<PhoneComponent>(); });
    factory.registerCreator(u"Empty"_s, {});
    factory.registerCreator(u"Record"_s, []() -> std::shared_ptr<PhoneComponent> {
        throw ErrorRecord(ErrorNumber::FileAccess, u"Path/File access error"_s);
    });
    for (const QString& name : {u"Throws"_s, u"ThrowsInt"_s, u"Null"_s, u"Empty"_s})
        EXPECT_EQ(errorNumberOf([&] { factory.create(name); }), 429) << name.toStdString();
    EXPECT_EQ(errorNumberOf([&] { factory.create(u"Record"_s); }), ErrorNumber::FileAccess);
}

TEST(ComponentFactory, CreatesANewComponentPerCall) {
    int created = 0;
    ComponentFactory factory;
    factory.registerCreator(u"Counting"_s, [&] {
        ++created;
        return std::make_shared<RecordingComponent>();
    });
    const auto first = factory.create(u"Counting"_s);
    const auto second = factory.create(u"counting"_s);
    EXPECT_EQ(created, 2);
    EXPECT_NE(first, second);
}

TEST(ComponentFactory, DefaultsKnowTheRealComponent) {
    const auto component = ComponentFactory::withDefaults().create(kPhoneApplicationName);
    EXPECT_NE(dynamic_cast<PhoneApplication*>(component.get()), nullptr);
    EXPECT_EQ(kPhoneApplicationName, u"Veltrano.Phone.Application"_s);
}

// --- FormatKanonical with the real component ---

struct KanonicalCase {
    const char* name;
    QString input;
    QString expected;
    UnreadableReason reason = UnreadableReason::None;
};

using R = UnreadableReason;

void PrintTo(const KanonicalCase& c, std::ostream* out) {
    *out << c.name;
}

class KanonicalFormatterCases : public ::testing::TestWithParam<KanonicalCase> {
protected:
    DatabasePtr database_ = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    KanonicalFormatter formatter_{ComponentFactory::withDefaults(), database_};
};

TEST_P(KanonicalFormatterCases, Formats) {
    QString value = GetParam().input;
    const QString once = formatter_.FormatKanonical(value);
    EXPECT_EQ(once, GetParam().expected);
    EXPECT_EQ(value, GetParam().input);
    QString again = once;
    EXPECT_EQ(formatter_.FormatKanonical(again), once) << "not a fixed point";
    EXPECT_EQ(formatter_.format(value).reason, GetParam().reason);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Berlin, KanonicalFormatterCases,
    ::testing::Values(
        KanonicalCase{"Plain", u"030 1234567"_s, u"+49 (30) 1234567"_s},
        KanonicalCase{"WordsAfter", u"030 1234567 privat"_s, u"+49 (30) 1234567 privat"_s},
        KanonicalCase{"WordsBefore", u"Tel. 030 1234567"_s, u"Tel. +49 (30) 1234567"_s},
        KanonicalCase{"UpperCaseWords", u"TEL 030 1234567"_s, u"TEL +49 (30) 1234567"_s},
        KanonicalCase{"NonAsciiWordsKept", u"Ä 030 1234567"_s, u"Ä +49 (30) 1234567"_s},
        KanonicalCase{"CyrillicWordsKept", u"Тел. 030 1234567"_s, u"Тел. +49 (30) 1234567"_s},
        KanonicalCase{"TelephoneSignBefore", u"\u260E 030 1234567"_s, u"\u260E +49 (30) 1234567"_s},
        KanonicalCase{"TelephoneSignAfter", u"+49 30 1234567 \u260E"_s, u"+49 (30) 1234567 \u260E"_s},
        KanonicalCase{"KelvinSignLowersToALetter", u"\u212A 030 1234567"_s, u"\u212A +49 (30) 1234567"_s},
        KanonicalCase{"Suffix", u"030 1234567-89"_s, u"+49 (30) 1234567-89"_s},
        KanonicalCase{"Extension", u"Büro 030 1234567 Durchwahl 12 (Frau Weber)"_s, u"Büro +49 (30) 1234567 Durchwahl 12 (Frau Weber)"_s},
        KanonicalCase{"CanonicalInWords", u"Tel. +49 (30) 1234567 privat"_s, u"Tel. +49 (30) 1234567 privat"_s},
        KanonicalCase{"PlusNotDoubled", u"Fax +49 30 1234567"_s, u"Fax +49 (30) 1234567"_s},
        KanonicalCase{"BracketNotDoubled", u"Tel. (030) 1234567"_s, u"Tel. +49 (30) 1234567"_s},
        KanonicalCase{"NotCompletedNotWrapped", u"Tel. abc 12 x"_s, u"Tel. abc 12 x"_s, R::NoValidNumber},
        KanonicalCase{"TwoNumbersUntouched", u"Tel. 030 1234567 oder 0171 7654321"_s, u"Tel. 030 1234567 oder 0171 7654321"_s, R::TwoNumbers},
        KanonicalCase{"LettersNoDigits", u"unbekannt"_s, u"unbekannt"_s, R::NoValidNumber},
        KanonicalCase{"Empty", u""_s, u""_s, R::NoValidNumber},
        KanonicalCase{"SymbolsKept", u"030 1234567 *"_s, u"+49 (30) 1234567 *"_s},
        KanonicalCase{"TrailingTabKept", u"030 1234567\t"_s, u"+49 (30) 1234567\t"_s},
        KanonicalCase{"TypographicSeparators", u"Tel.\u00A0030\u2013123\u202F45\u202F67"_s, u"Tel.\u00A0+49 (30) 1234567"_s},
        KanonicalCase{"LocalAmongTelephoneWords", u"Telefon (privat): 1234567"_s, u"Telefon (privat): +49 (30) 1234567"_s},
        KanonicalCase{"LocalAmongOtherWords", u"PLZ 10115 Berlin"_s, u"PLZ 10115 Berlin"_s, R::NotTelephoneWords},
        KanonicalCase{"GroupAfterSlash", u"Tel 030 1234567 / 89"_s, u"Tel 030 1234567 / 89"_s, R::TwoNumbers},
        KanonicalCase{"InvalidBytes", u"Fax 030 1234567 \uFFFD"_s, u"Fax 030 1234567 \uFFFD"_s, R::InvalidBytes}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(KanonicalFormatter, LongValueWithLettersOverflows) {
    DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    QString atLimit = u"Tel. 030 1234567 "_s + QString(32767 - 17, u'x');
    ASSERT_EQ(atLimit.size(), 32767);
    EXPECT_EQ(formatter.FormatKanonical(atLimit),
              u"Tel. +49 (30) 1234567 "_s + QString(32767 - 17, u'x'));

    QString overLimit = atLimit + u'x';
    try {
        formatter.FormatKanonical(overLimit);
        FAIL() << "no overflow";
    } catch (const ErrorRecord& e) {
        EXPECT_EQ(e.number(), ErrorNumber::Overflow);
        EXPECT_EQ(e.description(), u"Overflow"_s);
    }
    EXPECT_EQ(formatter.format(overLimit).reason, UnreadableReason::TooLong) << "no error here";
    // Not even a value the component leaves alone escapes it.
    QString unchanged(40000, u'x');
    EXPECT_EQ(errorNumberOf([&] { formatter.FormatKanonical(unchanged); }), ErrorNumber::Overflow);
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

TEST_F(KanonicalFormatterComponent, CreatedOncePreparedOnceUntilReleased) {
    KanonicalFormatter formatter(factory_, database_);
    EXPECT_FALSE(formatter.hasComponent());
    for (int i = 0; i < 50; ++i) {
        QString value = u"030 1"_s;
        EXPECT_EQ(formatter.FormatKanonical(value), u"<030 1>"_s);
    }
    EXPECT_EQ(created_, 1);
    EXPECT_EQ(last_->useDatabaseCalls, 1);
    EXPECT_EQ(last_->seenDatabase, database_);
    EXPECT_EQ(last_->setVisibleCalls, 1);
    EXPECT_FALSE(last_->lastVisible);
    EXPECT_EQ(last_->completeCalls, 50);

    formatter.release();
    EXPECT_FALSE(formatter.hasComponent());
    QString value = u"1"_s;
    formatter.FormatKanonical(value);
    EXPECT_EQ(created_, 2);
    EXPECT_EQ(last_->useDatabaseCalls, 1);
}

TEST_F(KanonicalFormatterComponent, FailedCreationIsTriedAgain) {
    KanonicalFormatter formatter(factory_, database_);
    failCreation_ = true;
    QString value = u"030 1"_s;
    EXPECT_EQ(errorNumberOf([&] { formatter.FormatKanonical(value); }), 429);
    EXPECT_FALSE(formatter.hasComponent());
    failCreation_ = false;
    EXPECT_EQ(formatter.FormatKanonical(value), u"<030 1>"_s);
    EXPECT_EQ(created_, 2);
    EXPECT_TRUE(formatter.hasComponent());
}

TEST_F(KanonicalFormatterComponent, FailedUseDatabaseKeepsTheComponentAndIsNotRepeated) {
    KanonicalFormatter formatter(factory_, database_);
    failUseDatabase_ = true;
    QString value = u"030 1"_s;
    EXPECT_EQ(errorNumberOf([&] { formatter.FormatKanonical(value); }), serverErrorNumber(0x1001));
    EXPECT_TRUE(formatter.hasComponent());
    EXPECT_EQ(last_->setVisibleCalls, 0) << "SetVisible comes after UseDatabase";
    EXPECT_EQ(formatter.FormatKanonical(value), u"<030 1>"_s);
    EXPECT_EQ(created_, 1);
    EXPECT_EQ(last_->useDatabaseCalls, 1);
    EXPECT_EQ(last_->setVisibleCalls, 0);
}

TEST_F(KanonicalFormatterComponent, UseDatabaseReplacesTheDatabaseReference) {
    replacement_ = std::make_shared<BareDatabase>();
    const DatabasePtr original = database_;
    KanonicalFormatter formatter(factory_, database_);
    QString value = u"1"_s;
    formatter.FormatKanonical(value);
    EXPECT_EQ(last_->seenDatabase, original);
    EXPECT_EQ(database_, replacement_);
}

TEST_F(KanonicalFormatterComponent, WrapsWordsAroundWhatTheComponentReturns) {
    KanonicalFormatter formatter(factory_, database_);
    struct Case {
        QString input;
        QString expected;
    };
    const Case cases[] = {
        // prefix up to the first digit, suffix after the last, kept as written
        {u"Tel. 030 1 privat"_s, u"Tel. <Tel. 030 1 privat> privat"_s},
        {u"Ä 030 1"_s, u"Ä <Ä 030 1>"_s},
        {u"Fax ++((030"_s, u"Fax <Fax ++((030>"_s},
        {u"(+030) x"_s, u"<(+030) x>) x"_s},
        {u"x0"_s, u"x<x0>"_s},
        {u"abc"_s, u"<abc>"_s},
    };
    for (const Case& c : cases) {
        QString value = c.input;
        EXPECT_EQ(formatter.FormatKanonical(value), c.expected) << c.input.toStdString();
    }
    last_->complete = [](const QString& n) {
        return n;
    };
    QString value = u"Tel. abc 12 x"_s;
    EXPECT_EQ(formatter.FormatKanonical(value), u"Tel. abc 12 x"_s);
}

} // namespace
