#include "NumberCompleter.h"
#include "ConversionFakes.h"
#include "PhoneApplication.h"
#include "StringConversions.h"
#include "UnreadableReason.h"
#include "UnreadableValue.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct CompleteCase {
    const char* region;
    const char* area;
    QString input;
    QString expected; // empty: the input comes back unchanged
    UnreadableReason reason = UnreadableReason::None;
};

using R = UnreadableReason;

const QString kBerlin = u"+49 (30) 1234567"_s;

// clang-format off
const CompleteCase kCases[] = {
    {"DE", "30", u"030 1234567"_s, kBerlin},
    {"DE", "30", u"030 / 123 45 67"_s, kBerlin},
    {"DE", "30", u"030-123456"_s, u"+49 (30) 123456"_s},
    {"DE", "30", u"030.123.45.67"_s, kBerlin},
    {"DE", "30", u"(0)30 1234567"_s, kBerlin},
    {"DE", "30", u"030\u00A01234567"_s, kBerlin},
    {"DE", "30", u"+ 49 30 1234567"_s, kBerlin},
    {"US", "425", u"+ 2488 567"_s, {}, R::NoValidNumber},
    {"DE", "30", u"+49-30-1234567"_s, kBerlin},
    {"DE", "30", u"+49301234567"_s, kBerlin},
    {"DE", "30", u"+49 030 1234567"_s, kBerlin},
    {"DE", "30", u"+49 (030) 1234567"_s, kBerlin},
    {"DE", "30", u"1234567"_s, kBerlin},
    {"DE", "030", u"1234567"_s, kBerlin},
    {"DE", "", u"1234567"_s, {}, R::NoValidNumber},
    {"DE", "", u"030 1234567"_s, kBerlin},
    {"DE", "30", u"1234"_s, {}, R::NoValidNumber},
    {"DE", "30", u"12345"_s, u"+49 (30) 12345"_s},
    {"DE", "30", u"12345678"_s, u"+49 (30) 12345678"_s},
    {"DE", "30", u"123456789"_s, {}, R::NoValidNumber},
    {"DE", "30", u"1 425 555 1212"_s, {}, R::NoValidNumber},
    {"DE", "30", u"Kunde seit 1998"_s, {}, R::NoValidNumber},
    {"DE", "30", u"12.03.2024"_s, {}, R::DateOrTime},
    {"DE", "30", u"(425) 555-1212"_s, {}, R::NoValidNumber},
    {"DE", "30", u"425-555-1212"_s, {}, R::NoValidNumber},
    {"DE", "30", u"011 49 30 1234567"_s, {}, R::NoValidNumber},
    {"DE", "30", u"0171 1234567"_s, u"+49 (171) 1234567"_s},
    {"DE", "30", u"+49 171 1234567"_s, u"+49 (171) 1234567"_s},
    {"DE", "30", u"0800 1234567"_s, u"+49 (800) 1234567"_s},
    {"DE", "30", u"030 1234567-89"_s, u"+49 (30) 1234567-89"_s},
    {"DE", "30", u"030 1234567-123456"_s, u"+49 (30) 1234567-123456"_s},
    {"DE", "30", u"030 1234567-1234567"_s, {}, R::TooLong},
    {"DE", "30", u"030 1234567 - 89"_s, u"+49 (30) 1234567 - 89"_s},
    {"DE", "30", u"089 12345-0"_s, u"+49 (89) 12345-0"_s},
    {"DE", "30", u"030-1234567-89"_s, u"+49 (30) 1234567-89"_s},
    {"DE", "30", u"1234567-89"_s, u"+49 (30) 1234567-89"_s},
    {"DE", "30", u"+49 30 1234567-89"_s, u"+49 (30) 1234567-89"_s},
    {"DE", "30", u"030 1234567 x 12"_s, u"+49 (30) 1234567 x 12"_s},
    {"DE", "30", u"030 1234567x12"_s, u"+49 (30) 1234567x12"_s},
    {"DE", "30", u"030 1234567 DW 12 Sekretariat"_s, u"+49 (30) 1234567 DW 12"_s},
    {"DE", "30", u"030 1234567-89 ext. 1"_s, u"+49 (30) 1234567-89 ext. 1"_s},
    {"DE", "30", u"030 1234567 x 1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"030 1234567 x 123456"_s, u"+49 (30) 1234567 x 123456"_s},
    {"DE", "30", u"030 1234567 ext."_s, kBerlin},
    {"DE", "30", u"Tel. 030 1234567 privat"_s, kBerlin},
    {"DE", "30", u"030 1234567 (privat)"_s, kBerlin},
    {"DE", "30", u"Tel.: (030) 1234567"_s, kBerlin},
    {"DE", "30", u"Fax +49 30 1234567"_s, kBerlin},
    {"DE", "30", kBerlin, {}},
    {"DE", "30", u"+49 (171) 1234567"_s, {}},
    {"DE", "30", u"+49 (30) 1234567-89"_s, {}},
    {"DE", "30", u"Tel. +49 (30) 1234567 privat"_s, kBerlin},
    {"DE", "30", u"+49 (171) 1234-567"_s, u"+49 (171) 1234567"_s},
    {"DE", "30", u""_s, {}, R::NoValidNumber},
    {"DE", "30", u"unbekannt"_s, {}, R::NoValidNumber},
    {"DE", "30", u"+-/() ."_s, {}, R::NoValidNumber},
    {"DE", "30", u"030 12345 / 030 67890"_s, {}, R::TwoNumbers},
    {"DE", "30", u"030 1234567 +49 30 7654321"_s, {}, R::TwoNumbers},
    {"DE", "30", u"Raum 5: 030 1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"030 1234567 (2. Stock)"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"030 12"_s, {}, R::NoValidNumber},
    {"DE", "30", u"030 1234567890123456"_s, {}, R::TooLong},
    {"DE", "30", u"+49 30 123456789012345678901234567890"_s, {}, R::TooLong},
    {"DE", "30", u"(030 1234567)"_s, {}, R::NoValidNumber},
    {"DE", "30", u"030 (1234567"_s, {}, R::NoValidNumber},
    {"DE", "30", u"030) 1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"((030)) 1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"030 +1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"030\t1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"０３０ １２３４５６７"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"Tel. ٠٣٠ 030 1234567"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"030 1234567 \U0001D7D9"_s, {}, R::DigitsAmongWords},
    {"DE", "30", u"\U0001F4DE 030 1234567"_s, kBerlin},
    {"DE", "30", u"030 1234567 "_s + QChar(0xD800), {}, R::InvalidBytes},
    {"DE", "30", u"Tel. 030 1234567 \uFFFD"_s, {}, R::InvalidBytes},
    {"DE", "30", u"PLZ 10115 Berlin"_s, {}, R::NotTelephoneWords},
    {"DE", "30", u"Kundennr. 123456"_s, {}, R::NotTelephoneWords},
    {"DE", "30", u"Postfach 12 34 56"_s, {}, R::NotTelephoneWords},
    {"DE", "30", u"Nr. 1234567"_s, {}, R::NotTelephoneWords},
    {"DE", "30", u"1234567 *"_s, {}, R::NotTelephoneWords},
    {"DE", "30", u"Tel.-Nr.: 1234567 (geschäftlich)"_s, kBerlin},
    {"DE", "30", u"BÜRO/FAX: 1234567"_s, kBerlin},
    {"DE", "30", u"Herr Weber 030 1234567"_s, kBerlin},
    {"DE", "203", u"110"_s, {}},
    {"DE", "203", u"116117"_s, {}},
    {"DE", "203", u"Tel. 116117"_s, {}},
    {"DE", "203", u"116118"_s, u"+49 (203) 116118"_s},
    {"DE", "30", u"030\u20131234567"_s, kBerlin},
    {"DE", "30", u"030 \u2014 1234567"_s, kBerlin},
    {"DE", "30", u"030\u22121234567"_s, kBerlin},
    {"DE", "30", u"030\u20111234567"_s, kBerlin},
    {"DE", "30", u"030\u202F1234567"_s, kBerlin},
    {"DE", "30", u"+49\u200930\u2009123\u200945\u200967"_s, kBerlin},
    {"DE", "30", u"(030)\u20071234567"_s, kBerlin},
    {"DE", "30", u"030 1234567\u201389"_s, u"+49 (30) 1234567\u201389"_s},
    {"DE", "30", u"Tel 030 1234567 / 89"_s, {}, R::TwoNumbers},
    {"DE", "30", u"1234567/89"_s, {}, R::TwoNumbers},
    {"DE", "30", u"0043 1 5123456"_s, u"+43 (1) 5123456"_s},
    {"AT", "1", u"01 5123456"_s, u"+43 (1) 5123456"_s},
    {"AT", "1", u"512 34 56"_s, u"+43 (1) 5123456"_s},
    {"AT", "1", u"0664 1234567"_s, u"+43 (664) 1234567"_s},
    {"DE", "30", u"+43 664 1234567"_s, u"+43 (664) 1234567"_s},
    {"CH", "44", u"044 123 45 67"_s, u"+41 (44) 1234567"_s},
    {"CH", "44", u"123 45 67"_s, u"+41 (44) 1234567"_s},
    {"DE", "30", u"+41 (0)44 123 45 67"_s, u"+41 (44) 1234567"_s},
    {"CH", "44", u"079 123 45 67"_s, u"+41 (79) 1234567"_s},
    {"DE", "30", u"044 123 45 67"_s, u"+49 (441) 234567"_s},
    {"US", "425", u"425-555-1212"_s, u"+1 (425) 5551212"_s},
    {"US", "425", u"425.555.1212"_s, u"+1 (425) 5551212"_s},
    {"US", "425", u"555-1212"_s, u"+1 (425) 5551212"_s},
    {"US", "425", u"555-1212 x 12"_s, u"+1 (425) 5551212 x 12"_s},
    {"US", "425", u"(425) 555-1212 ext. 7"_s, u"+1 (425) 5551212 ext. 7"_s},
    {"US", "425", u"011 49 30 1234567"_s, kBerlin},
    {"US", "425", u"0049 30 1234567"_s, kBerlin},
    {"", "", u"+1 425 555 1212"_s, u"+1 (425) 5551212"_s},
    {"DE", "30", u"+1 (425) 555-1212"_s, u"+1 (425) 5551212"_s},
    {"DE", "30", u"+65 6123 4567"_s, u"+65 61234567"_s},
    {"DE", "30", u"+65 61234567"_s, {}},
    {"DE", "30", u"+39 06 1234567"_s, u"+39 (06) 1234567"_s},
    {"DE", "30", u"+39 312 345 6789"_s, u"+39 3123456789"_s},
    {"DE", "30", u"+44 (0)20 7946 0958"_s, u"+44 (20) 79460958"_s},
    {"", "", u"030 1234567"_s, {}, R::NoValidNumber},
    {"", "", u"1234567"_s, {}, R::NoValidNumber},
    {"", "", u"+49 30 1234567"_s, kBerlin},
    {"", "", u"0049 30 1234567"_s, kBerlin},
    {"XX", "30", u"030 1234567"_s, {}, R::NoValidNumber},
    {"DE", "30", u"2009-01-22"_s, {}, R::DateOrTime},
    {"DE", "30", u"Rückruf 2009-01-22 10:15:30"_s, {}, R::DateOrTime},
    {"US", "425", u"12/31/2024"_s, {}, R::DateOrTime},
    {"DE", "30", u"12959.9"_s, {}, R::DecimalNumber},
    {"DE", "30", u"12,50"_s, {}, R::DecimalNumber},
    {"DE", "30", u"1.234,56 EUR"_s, {}, R::DecimalNumber},
    {"DE", "30", u"€ 12959"_s, {}, R::DecimalNumber},
    {"DE", "30", u"100.000"_s, {}, R::GroupedThousands},
    {"US", "425", u"1,000,000"_s, {}, R::GroupedThousands},
    {"DE", "30", u"192.168.1.1"_s, {}, R::IpAddress},
    {"DE", "30", u"10.0.0.254:8080"_s, {}, R::IpAddress},
    {"DE", "30", u"2001:DB8::AF"_s, {}, R::IpAddress},
    {"DE", "30", u"fe80::1ff:fe23:4567:890a"_s, {}, R::IpAddress},
    {"DE", "30", u"32.01.2009"_s, {}, R::NoValidNumber},
    {"DE", "30", u"12.13.2009"_s, {}, R::NoValidNumber},
    {"US", "425", u"3/4/24"_s, {}, R::DateOrTime},
    {"DE", "30", u"mail@030-1234567.de"_s, {}, R::InAddress},
    {"DE", "30", u"http://example.com/030-1234567"_s, {}, R::InAddress},
    {"DE", "30", u"www.0301234567.de"_s, {}, R::InAddress},
    {"DE", "30", u"Tel. 030 1234567 (example.com/030)"_s, {}, R::InAddress},
    {"DE", "30", u"Tel. 030 1234567, mail@firma.de"_s, kBerlin},
    {"DE", "30", u"030 1234567@Büro"_s, kBerlin},
    {"DE", "30", u"030.1234567"_s, kBerlin},
    {"DE", "30", u"089/12 34 56"_s, u"+49 (89) 123456"_s},
    {"DE", "30", u"0221.12.34.56"_s, u"+49 (221) 123456"_s},
    {"DE", "30", u"+49.30.123.45.67"_s, kBerlin},
    {"DE", "30", u"123.45.67"_s, kBerlin},
    {"DE", "30", u"1.23.45.67"_s, kBerlin},
    {"DE", "30", u"12.34.56.78"_s, u"+49 (30) 12345678"_s},
    {"US", "425", u"555.1212"_s, u"+1 (425) 5551212"_s},
    {"US", "425", u"1.800.555.1212"_s, u"+1 (800) 5551212"_s},
    {"US", "425", u"1312.23 / 53 / 388"_s, u"+1 (312) 2353388"_s},
};
// clang-format on

TEST(NumberCompleter, Completes) {
    for (const CompleteCase& c : kCases) {
        SCOPED_TRACE(c.input.toStdString());
        const NumberCompleter completer(QString::fromLatin1(c.region), QString::fromLatin1(c.area));
        const FormattedValue result = completer.completeWithReason(c.input);
        EXPECT_EQ(result.text, c.expected.isEmpty() ? c.input : c.expected);
        EXPECT_EQ(unreadableReasonKey(result.reason), std::string(unreadableReasonKey(c.reason)));
        EXPECT_EQ(completer.complete(result.text), result.text) << "not a fixed point";
    }
}

// Every reason reaches the summary and the report under a name and key of its own (words that
// are not telephone words count as digits among words).
TEST(UnreadableValue, EachReasonHasItsOwnNameAndKey) {
    QSet<QString> keys;
    QSet<QString> names;
    for (int r = int(R::NoValidNumber); r <= int(R::UnknownCountry); ++r) {
        keys.insert(unreadableKey(*unreadable(UnreadableReason(r))));
        names.insert(unreadableName(*unreadable(UnreadableReason(r))));
    }
    EXPECT_EQ(keys.size(), kUnreadableReasons);
    EXPECT_EQ(names.size(), kUnreadableReasons);
}

TEST(NumberCompleter, LocationIsNormalised) {
    NumberCompleter completer(u" de "_s, u"(030)"_s);
    EXPECT_EQ(completer.region(), u"DE"_s);
    EXPECT_EQ(completer.areaCode(), u"30"_s);
    completer.setLocation(u"DE"_s, u"30a"_s);
    EXPECT_EQ(completer.areaCode(), u""_s) << "an area code with letters is no area code";
    completer.setLocation(u"XX"_s, u"30"_s);
    EXPECT_EQ(completer.region(), u""_s);
    EXPECT_EQ(completer.areaCode(), u""_s);
    completer.setLocation(u"Deutschland"_s, u"30"_s);
    EXPECT_EQ(completer.region(), u""_s);
}

TEST(NumberCompleter, OddInputDoesNoHarm) {
    const NumberCompleter completer(u"DE"_s, u"30"_s);
    QString nul = u"030 1234567"_s;
    nul.insert(3, QChar(u'\0'));
    const QString loneLowInside = u"030"_s + QChar(0xDC00) + u"1234567"_s;
    const QString hugeDigits(100000, u'7');
    const QString hugeNumbers = u"Tel. 030 1234567 "_s.repeated(6000);
    const QString hugeBrackets(100000, u'(');
    const QString hugeBlanks(100000, u' ');
    for (const QString& value :
         {nul, loneLowInside, hugeDigits, hugeNumbers, hugeBrackets, hugeBlanks})
        EXPECT_TRUE(completer.complete(value) == value) << value.left(40).toStdString();
    // Words, however long and odd, are not part of the number.
    QString hugeWords(100000, u'a');
    hugeWords.replace(50000, 11, u"030 1234567"_s);
    EXPECT_EQ(completer.complete(hugeWords), kBerlin);
    EXPECT_EQ(completer.complete(u"Tel.\0 030 1234567"_s), kBerlin);
}

// The real component takes the location of each database it is given; without one only the
// system's region remains.
TEST(PhoneApplication, TakesTheLocationFromTheDatabase) {
    PhoneApplication component;
    DatabasePtr db = std::make_shared<LocationDatabase>(u"CH"_s, u"44"_s);
    const DatabasePtr before = db;
    component.UseDatabase(db);
    EXPECT_EQ(db, before) << "the real component leaves the reference alone";
    QString local = u"123 45 67"_s;
    EXPECT_EQ(component.CompleteNumber(local), u"+41 (44) 1234567"_s);
    EXPECT_EQ(local, u"123 45 67"_s);
    DatabasePtr vienna = std::make_shared<LocationDatabase>(u"AT"_s, u"1"_s);
    component.UseDatabase(vienna);
    local = u"5123456"_s;
    EXPECT_EQ(component.CompleteNumber(local), u"+43 (1) 5123456"_s);
    for (DatabasePtr none :
         std::vector<DatabasePtr>{std::make_shared<BareDatabase>(),
                                  std::make_shared<LocationDatabase>(u"ZZ"_s, u"30"_s)}) {
        PhoneApplication fresh;
        fresh.UseDatabase(none);
        EXPECT_EQ(fresh.completer().region(), NumberCompleter::systemRegion());
        EXPECT_EQ(fresh.completer().areaCode(), u""_s) << "no area code without location";
        local = u"1234567"_s;
        EXPECT_EQ(fresh.CompleteNumber(local), local);
        QString international = u"0049 30 1234567"_s;
        EXPECT_EQ(fresh.CompleteNumber(international), kBerlin);
    }
}

// A record's country decides how its national numbers read; in Berlin (DE, 30). The region
// column holds the country field's text.
// clang-format off
const CompleteCase kCountryCases[] = {
    {"FR", "", u"01 42 68 53 00"_s, u"+33 (1) 42685300"_s},
    {" frankreich ", "", u"01 42 68 53 00"_s, u"+33 (1) 42685300"_s},
    {"FRA", "", u"01.42.68.53.00"_s, u"+33 (1) 42685300"_s},
    {"Schweiz", "", u"044 668 18 00"_s, u"+41 (44) 6681800"_s},
    {"USA", "", u"(212) 555-1234"_s, u"+1 (212) 5551234"_s},
    {"Vereinigte Staaten", "", u"011 49 30 1234567"_s, kBerlin},
    {"UK", "", u"020 7946 0958"_s, u"+44 (20) 79460958"_s},
    {"Österreich", "", u"01 5123456"_s, u"+43 (1) 5123456"_s},
    {"Italy", "", u"06 1234 5678"_s, u"+39 (06) 12345678"_s},
    {"NL", "", u"020 123 4567"_s, u"+31 (20) 1234567"_s},
    {"Belgien", "", u"012 34 56 78"_s, u"+32 (12) 345678"_s},
    {"JP", "", u"03-1234-5678"_s, u"+81 (3) 12345678"_s},
    {"Schweden", "", u"08-123 456 78"_s, u"+46 (8) 12345678"_s},
    {"ES", "", u"912 345 678"_s, u"+34 912345678"_s},
    {"Polen", "", u"12 345 67 89"_s, u"+48 123456789"_s},
    {"DNK", "", u"32 12 34 56"_s, u"+45 32123456"_s},
    {"Singapore", "", u"6123 4567"_s, u"+65 61234567"_s},
    {"FR", "", u"+49 30 1234567"_s, kBerlin},
    {"FR", "", u"0049 30 1234567"_s, kBerlin},
    {"FR", "", u"1234567"_s, {}, R::NoValidNumber},
    {"US", "", u"030 1234567"_s, {}, R::NoValidNumber},
    {"Deutschland", "", u"1234567"_s, kBerlin},
    {"", "", u"1234567"_s, kBerlin},
    {"Atlantis", "", u"030 1234567"_s, {}, R::UnknownCountry},
    {"Atlantis", "", u"+49 30 1234567"_s, kBerlin},
    {"Atlantis", "", u"2009-01-22"_s, {}, R::DateOrTime},
};
// clang-format on

TEST(PhoneApplication, ReadsNationalNumbersInTheRecordsCountry) {
    PhoneApplication component;
    DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    component.UseDatabase(db);
    for (const CompleteCase& c : kCountryCases) {
        QString value = c.input;
        const FormattedValue result =
            component.completeWithReason(value, QString::fromUtf8(c.region));
        EXPECT_EQ(result.text, c.expected.isEmpty() ? c.input : c.expected)
            << c.region << " " << c.input.toStdString();
        EXPECT_EQ(unreadableReasonKey(result.reason), std::string(unreadableReasonKey(c.reason)))
            << c.region;
    }
}

// Destination codes are remembered across numbers: a completer that has seen many numbers must
// split each one exactly as a fresh one does, in whatever order the numbers come.
TEST(NumberCompleter, RememberedDestinationCodesSplitLikeFreshOnes) {
    const QStringList values{
        u"030 1234567"_s,     u"0331 1234567"_s,    u"03327 123456"_s,    u"033701 12345"_s,
        u"0301 234567"_s,     u"089 12345678"_s,    u"0171 1234567"_s,    u"01512 3456789"_s,
        u"0221 1234567"_s,    u"02211 234567"_s,    u"0043 1 5123456"_s,  u"0043 316 123456"_s,
        u"0041 44 1234567"_s, u"0041 31 1234567"_s, u"+1 425 555 1212"_s, u"+1 212 555 1234"_s,
        u"040 1234567"_s,     u"04101 12345"_s,     u"+65 61234567"_s,    u"+39 06 12345678"_s};
    for (const bool reversed : {false, true}) {
        const NumberCompleter shared(u"DE"_s, u"30"_s);
        QStringList order = values;
        if (reversed)
            std::reverse(order.begin(), order.end());
        for (int round = 0; round < 2; ++round) {
            for (const QString& value : order)
                EXPECT_EQ(shared.complete(value), NumberCompleter(u"DE"_s, u"30"_s).complete(value))
                    << value.toStdString();
        }
    }
}

TEST(NumberCompleter, KeepsItsDigitsOnlyWithoutAnythingToDrop) {
    for (const QString& value :
         {u"+49 30 1234567"_s, u"+49 (30) 1234567"_s, u"+1 425 555 1212"_s, u"+43 316 123456"_s,
          u"+4930 1234567"_s, u"+ 49 30 1234567"_s, u"+ (49) 30 1234567"_s})
        EXPECT_TRUE(NumberCompleter::keepsItsDigits(value)) << value.toStdString();
    for (const QString& value :
         {u"+49 030 1234567"_s, u"+49 (0)30 1234567"_s, u"+1 1 425 555 1212"_s,
          u"0049 30 1234567"_s, u"030 1234567"_s, u"+49 30 1234567-89"_s, u"+49 30/1234567"_s,
          u"+49 30 12"_s, u"+999 1234567"_s, u""_s, u"+"_s, u"+)1234567"_s, u"+( 49) 30 1234567"_s,
          u"+49 (30 1234567"_s, u"+49 () 30 1234567"_s, u"+49 ((30)) 1234567"_s})
        EXPECT_FALSE(NumberCompleter::keepsItsDigits(value)) << value.toStdString();
}

} // namespace
