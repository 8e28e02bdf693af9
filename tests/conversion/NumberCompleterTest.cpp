#include "NumberCompleter.h"
#include "ConversionFakes.h"
#include "PhoneApplication.h"
#include "StringConversions.h"
#include "UnreadableReason.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct CompleteCase {
    const char* name;
    const char* region;
    const char* area;
    QString input;
    QString expected; // empty: the input comes back unchanged
    UnreadableReason reason = UnreadableReason::None;
};

using R = UnreadableReason;

void PrintTo(const CompleteCase& c, std::ostream* out) {
    *out << c.name;
}

class NumberCompleterCases : public ::testing::TestWithParam<CompleteCase> {};

TEST_P(NumberCompleterCases, Completes) {
    const CompleteCase& c = GetParam();
    const NumberCompleter completer(QString::fromLatin1(c.region), QString::fromLatin1(c.area));
    const QString expected = c.expected.isEmpty() ? c.input : c.expected;
    const FormattedValue result = completer.completeWithReason(c.input);
    EXPECT_EQ(result.text, expected);
    EXPECT_EQ(unreadableReasonKey(result.reason), std::string(unreadableReasonKey(c.reason)));
    EXPECT_EQ(completer.complete(result.text), result.text) << "not a fixed point";
}

const QString kBerlin = u"+49 (30) 1234567"_s;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Germany, NumberCompleterCases,
    ::testing::Values(
        CompleteCase{"National", "DE", "30", u"030 1234567"_s, kBerlin},
        CompleteCase{"Slash", "DE", "30", u"030/1234567"_s, kBerlin},
        CompleteCase{"SlashSpaced", "DE", "30", u"030 / 123 45 67"_s, kBerlin},
        CompleteCase{"HyphenGrouping", "DE", "30", u"030-1234567"_s, kBerlin},
        CompleteCase{"HyphenGroupingShortTail", "DE", "30", u"030-123456"_s, u"+49 (30) 123456"_s},
        CompleteCase{"Dots", "DE", "30", u"030.123.45.67"_s, kBerlin},
        CompleteCase{"BracketedAreaCode", "DE", "30", u"(030) 1234567"_s, kBerlin},
        CompleteCase{"BracketedTrunkPrefix", "DE", "30", u"(0)30 1234567"_s, kBerlin},
        CompleteCase{"NoBreakSpace", "DE", "30", u"030\u00A01234567"_s, kBerlin},
        CompleteCase{"Plus", "DE", "30", u"+49 30 1234567"_s, kBerlin},
        CompleteCase{"PlusBlank", "DE", "30", u"+ 49 30 1234567"_s, kBerlin},
        CompleteCase{"PlusBlankNotReadAsLocal", "US", "425", u"+ 2488 567"_s, {}, R::NoValidNumber},
        CompleteCase{"PlusHyphens", "DE", "30", u"+49-30-1234567"_s, kBerlin},
        CompleteCase{"PlusUnbroken", "DE", "30", u"+49301234567"_s, kBerlin},
        CompleteCase{"DoubleZero", "DE", "30", u"0049 30 1234567"_s, kBerlin},
        CompleteCase{"PlusTrunkInBrackets", "DE", "30", u"+49 (0)30 1234567"_s, kBerlin},
        CompleteCase{"PlusWithTrunkPrefix", "DE", "30", u"+49 030 1234567"_s, kBerlin},
        CompleteCase{"PlusBracketedWithTrunk", "DE", "30", u"+49 (030) 1234567"_s, kBerlin},
        CompleteCase{"Local", "DE", "30", u"1234567"_s, kBerlin},
        CompleteCase{"LocalAreaCodeWithTrunk", "DE", "030", u"1234567"_s, kBerlin},
        CompleteCase{"LocalWithoutAreaCode", "DE", "", u"1234567"_s, {}, R::NoValidNumber},
        CompleteCase{"NationalWithoutAreaCode", "DE", "", u"030 1234567"_s, kBerlin},
        CompleteCase{"LocalTooShort", "DE", "30", u"123"_s, {}, R::NoValidNumber},
        CompleteCase{"LocalTooLong", "DE", "30", u"1 425 555 1212"_s, {}, R::NoValidNumber},
        CompleteCase{"LocalYearInWords", "DE", "30", u"Kunde seit 1998"_s, {}, R::NoValidNumber},
        CompleteCase{"Date", "DE", "30", u"12.03.2024"_s, {}, R::NoValidNumber},
        CompleteCase{"ForeignBracketedAreaCode", "DE", "30", u"(425) 555-1212"_s, {}, R::NoValidNumber},
        CompleteCase{"ForeignHyphenated", "DE", "30", u"425-555-1212"_s, {}, R::NoValidNumber},
        CompleteCase{"ForeignInternationalPrefix", "DE", "30", u"011 49 30 1234567"_s, {}, R::NoValidNumber},
        CompleteCase{"Mobile", "DE", "30", u"0171 1234567"_s, u"+49 (171) 1234567"_s},
        CompleteCase{"MobileInternational", "DE", "30", u"+49 171 1234567"_s, u"+49 (171) 1234567"_s},
        CompleteCase{"FreePhone", "DE", "30", u"0800 1234567"_s, u"+49 (800) 1234567"_s},
        CompleteCase{"Suffix", "DE", "30", u"030 1234567-89"_s, u"+49 (30) 1234567-89"_s},
        CompleteCase{"SuffixSpaced", "DE", "30", u"030 1234567 - 89"_s, u"+49 (30) 1234567 - 89"_s},
        CompleteCase{"SuffixZero", "DE", "30", u"089 12345-0"_s, u"+49 (89) 12345-0"_s},
        CompleteCase{"SuffixAfterHyphenGrouping", "DE", "30", u"030-1234567-89"_s, u"+49 (30) 1234567-89"_s},
        CompleteCase{"SuffixOnLocal", "DE", "30", u"1234567-89"_s, u"+49 (30) 1234567-89"_s},
        CompleteCase{"SuffixInternational", "DE", "30", u"+49 30 1234567-89"_s, u"+49 (30) 1234567-89"_s},
        CompleteCase{"ExtensionExt", "DE", "30", u"030 1234567 ext. 12"_s, u"+49 (30) 1234567 ext. 12"_s},
        CompleteCase{"ExtensionX", "DE", "30", u"030 1234567 x 12"_s, u"+49 (30) 1234567 x 12"_s},
        CompleteCase{"ExtensionXJoined", "DE", "30", u"030 1234567x12"_s, u"+49 (30) 1234567x12"_s},
        CompleteCase{"ExtensionDurchwahl", "DE", "30", u"030 1234567 Durchwahl 12"_s, u"+49 (30) 1234567 Durchwahl 12"_s},
        CompleteCase{"ExtensionAfterComma", "DE", "30", u"030 1234567, App. 12"_s, u"+49 (30) 1234567, App. 12"_s},
        CompleteCase{"ExtensionThenWords", "DE", "30", u"030 1234567 DW 12 Sekretariat"_s, u"+49 (30) 1234567 DW 12"_s},
        CompleteCase{"SuffixAndExtension", "DE", "30", u"030 1234567-89 ext. 1"_s, u"+49 (30) 1234567-89 ext. 1"_s},
        CompleteCase{"ExtensionTooLong", "DE", "30", u"030 1234567 x 1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"MarkerWithoutDigits", "DE", "30", u"030 1234567 ext."_s, kBerlin},
        CompleteCase{"WordsAround", "DE", "30", u"Tel. 030 1234567 privat"_s, kBerlin},
        CompleteCase{"WordsInBrackets", "DE", "30", u"030 1234567 (privat)"_s, kBerlin},
        CompleteCase{"WordsBeforeBracket", "DE", "30", u"Tel.: (030) 1234567"_s, kBerlin},
        CompleteCase{"WordsBeforePlus", "DE", "30", u"Fax +49 30 1234567"_s, kBerlin},
        CompleteCase{"Canonical", "DE", "30", kBerlin, {}},
        CompleteCase{"CanonicalMobile", "DE", "30", u"+49 (171) 1234567"_s, {}},
        CompleteCase{"CanonicalSuffix", "DE", "30", u"+49 (30) 1234567-89"_s, {}},
        CompleteCase{"CanonicalInWords", "DE", "30", u"Tel. +49 (30) 1234567 privat"_s, kBerlin},
        CompleteCase{"CanonicalShapeVerified", "DE", "30", u"+49 (171) 1234-567"_s, u"+49 (171) 1234567"_s},
        CompleteCase{"Empty", "DE", "30", u""_s, {}, R::NoValidNumber},
        CompleteCase{"NoDigits", "DE", "30", u"unbekannt"_s, {}, R::NoValidNumber},
        CompleteCase{"OnlyPunctuation", "DE", "30", u"+-/() ."_s, {}, R::NoValidNumber},
        CompleteCase{"TwoNumbersSpaced", "DE", "30", u"030 1234567 030 7654321"_s, {}, R::TwoNumbers},
        CompleteCase{"TwoNumbersSlash", "DE", "30", u"030 1234567 / 0171 7654321"_s, {}, R::TwoNumbers},
        CompleteCase{"TwoShortNumbers", "DE", "30", u"030 12345 / 030 67890"_s, {}, R::TwoNumbers},
        CompleteCase{"TwoNumbersComma", "DE", "30", u"030 1234567, 030 7654321"_s, {}, R::TwoNumbers},
        CompleteCase{"TwoNumbersWords", "DE", "30", u"030 1234567 oder 0171 7654321"_s, {}, R::TwoNumbers},
        CompleteCase{"TwoNumbersSecondInternational", "DE", "30", u"030 1234567 +49 30 7654321"_s, {}, R::TwoNumbers},
        CompleteCase{"DigitsInWordsBefore", "DE", "30", u"Raum 5: 030 1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"DigitsInWordsAfter", "DE", "30", u"030 1234567 (2. Stock)"_s, {}, R::DigitsAmongWords},
        CompleteCase{"TooShort", "DE", "30", u"030 12"_s, {}, R::NoValidNumber},
        CompleteCase{"TooLong", "DE", "30", u"030 1234567890123456"_s, {}, R::TooLong},
        CompleteCase{"FarTooLong", "DE", "30", u"+49 30 123456789012345678901234567890"_s, {}, R::TooLong},
        CompleteCase{"BracketAroundNumber", "DE", "30", u"(030 1234567)"_s, {}, R::NoValidNumber},
        CompleteCase{"BracketOpenAtEnd", "DE", "30", u"030 (1234567"_s, {}, R::NoValidNumber},
        CompleteCase{"StrayClosingBracket", "DE", "30", u"030) 1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"NestedBrackets", "DE", "30", u"((030)) 1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"PlusInside", "DE", "30", u"030 +1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"Tab", "DE", "30", u"030\t1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"FullWidthDigits", "DE", "30", u"０３０ １２３４５６７"_s, {}, R::DigitsAmongWords},
        CompleteCase{"ArabicIndicDigitsInWords", "DE", "30", u"Tel. ٠٣٠ 030 1234567"_s, {}, R::DigitsAmongWords},
        CompleteCase{"MathematicalDigitInWords", "DE", "30", u"030 1234567 \U0001D7D9"_s, {}, R::DigitsAmongWords},
        CompleteCase{"EmojiInWords", "DE", "30", u"\U0001F4DE 030 1234567"_s, kBerlin},
        CompleteCase{"LoneSurrogateInWords", "DE", "30", u"030 1234567 "_s + QChar(0xD800), {}, R::InvalidBytes},
        CompleteCase{"ReplacementCharacter", "DE", "30", u"Tel. 030 1234567 \uFFFD"_s, {}, R::InvalidBytes},
        CompleteCase{"PostalCode", "DE", "30", u"PLZ 10115 Berlin"_s, {}, R::NotTelephoneWords},
        CompleteCase{"CustomerNumber", "DE", "30", u"Kundennr. 123456"_s, {}, R::NotTelephoneWords},
        CompleteCase{"PostBox", "DE", "30", u"Postfach 12 34 56"_s, {}, R::NotTelephoneWords},
        CompleteCase{"LocalNumberWordAlone", "DE", "30", u"Nr. 1234567"_s, {}, R::NotTelephoneWords},
        CompleteCase{"LocalSymbolAfter", "DE", "30", u"1234567 *"_s, {}, R::NotTelephoneWords},
        CompleteCase{"LocalAmongTelephoneWords", "DE", "30", u"Tel. 1234567 privat"_s, kBerlin},
        CompleteCase{"LocalTelephoneNumberWords", "DE", "30", u"Tel.-Nr.: 1234567 (geschäftlich)"_s, kBerlin},
        CompleteCase{"LocalEnglishWords", "DE", "30", u"Office phone 1234567"_s, kBerlin},
        CompleteCase{"LocalUpperCaseWords", "DE", "30", u"BÜRO/FAX: 1234567"_s, kBerlin},
        CompleteCase{"LocalTelephoneSign", "DE", "30", u"\u260E 1234567"_s, kBerlin},
        CompleteCase{"NationalAmongOtherWords", "DE", "30", u"Herr Weber 030 1234567"_s, kBerlin},
        CompleteCase{"Emergency", "DE", "203", u"110"_s, {}},
        CompleteCase{"DirectoryInquiries", "DE", "203", u"11880"_s, {}},
        CompleteCase{"MedicalOnCall", "DE", "203", u"116117"_s, {}},
        CompleteCase{"Harmonised116", "DE", "203", u"116000"_s, {}},
        CompleteCase{"Directory118", "DE", "203", u"118000"_s, {}},
        CompleteCase{"ShortNumberAmongTelephoneWords", "DE", "203", u"Tel. 116117"_s, {}},
        CompleteCase{"LocalNextToShort", "DE", "203", u"116118"_s, u"+49 (203) 116118"_s},
        CompleteCase{"EnDash", "DE", "30", u"030\u20131234567"_s, kBerlin},
        CompleteCase{"EmDash", "DE", "30", u"030 \u2014 1234567"_s, kBerlin},
        CompleteCase{"MinusSign", "DE", "30", u"030\u22121234567"_s, kBerlin},
        CompleteCase{"NonBreakingHyphen", "DE", "30", u"030\u20111234567"_s, kBerlin},
        CompleteCase{"NarrowNoBreakSpace", "DE", "30", u"030\u202F1234567"_s, kBerlin},
        CompleteCase{"ThinSpace", "DE", "30", u"+49\u200930\u2009123\u200945\u200967"_s, kBerlin},
        CompleteCase{"FigureSpace", "DE", "30", u"(030)\u20071234567"_s, kBerlin},
        CompleteCase{"EnDashSuffix", "DE", "30", u"030 1234567\u201389"_s, u"+49 (30) 1234567\u201389"_s},
        CompleteCase{"SlashAfterCompleteNumber", "DE", "30", u"Tel 030 1234567 / 89"_s, {}, R::TwoNumbers},
        CompleteCase{"SlashAfterLocalNumber", "DE", "30", u"1234567/89"_s, {}, R::TwoNumbers}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    OtherCountries, NumberCompleterCases,
    ::testing::Values(
        CompleteCase{"AustriaDoubleZero", "DE", "30", u"0043 1 5123456"_s, u"+43 (1) 5123456"_s},
        CompleteCase{"AustriaNational", "AT", "1", u"01 5123456"_s, u"+43 (1) 5123456"_s},
        CompleteCase{"AustriaLocal", "AT", "1", u"512 34 56"_s, u"+43 (1) 5123456"_s},
        CompleteCase{"AustriaMobile", "AT", "1", u"0664 1234567"_s, u"+43 (664) 1234567"_s},
        CompleteCase{"AustriaMobilePlus", "DE", "30", u"+43 664 1234567"_s, u"+43 (664) 1234567"_s},
        CompleteCase{"SwissNational", "CH", "44", u"044 123 45 67"_s, u"+41 (44) 1234567"_s},
        CompleteCase{"SwissLocal", "CH", "44", u"123 45 67"_s, u"+41 (44) 1234567"_s},
        CompleteCase{"SwissTrunkInBrackets", "DE", "30", u"+41 (0)44 123 45 67"_s, u"+41 (44) 1234567"_s},
        CompleteCase{"SwissMobile", "CH", "44", u"079 123 45 67"_s, u"+41 (79) 1234567"_s},
        CompleteCase{"SwissNumberInGermany", "DE", "30", u"044 123 45 67"_s, u"+49 (441) 234567"_s},
        CompleteCase{"UsBracketed", "US", "425", u"(425) 555-1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"UsHyphens", "US", "425", u"425-555-1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"UsDots", "US", "425", u"425.555.1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"UsTrunk", "US", "425", u"1 425 555 1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"UsLocal", "US", "425", u"555-1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"UsLocalExtension", "US", "425", u"555-1212 x 12"_s, u"+1 (425) 5551212 x 12"_s},
        CompleteCase{"UsBracketedExtension", "US", "425", u"(425) 555-1212 ext. 7"_s, u"+1 (425) 5551212 ext. 7"_s},
        CompleteCase{"UsOwnInternationalPrefix", "US", "425", u"011 49 30 1234567"_s, kBerlin},
        CompleteCase{"UsDoubleZero", "US", "425", u"0049 30 1234567"_s, kBerlin},
        CompleteCase{"UsPlus", "", "", u"+1 425 555 1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"UsPlusGrouped", "DE", "30", u"+1 (425) 555-1212"_s, u"+1 (425) 5551212"_s},
        CompleteCase{"NoDestinationCode", "DE", "30", u"+65 6123 4567"_s, u"+65 61234567"_s},
        CompleteCase{"NoDestinationCodeFixedPoint", "DE", "30", u"+65 61234567"_s, {}},
        CompleteCase{"ItalyLeadingZero", "DE", "30", u"+39 06 1234567"_s, u"+39 (06) 1234567"_s},
        CompleteCase{"ItalyMobile", "DE", "30", u"+39 312 345 6789"_s, u"+39 3123456789"_s},
        CompleteCase{"London", "DE", "30", u"+44 (0)20 7946 0958"_s, u"+44 (20) 79460958"_s},
        CompleteCase{"NoLocationNational", "", "", u"030 1234567"_s, {}, R::NoValidNumber},
        CompleteCase{"NoLocationLocal", "", "", u"1234567"_s, {}, R::NoValidNumber},
        CompleteCase{"NoLocationPlus", "", "", u"+49 30 1234567"_s, kBerlin},
        CompleteCase{"NoLocationDoubleZero", "", "", u"0049 30 1234567"_s, kBerlin},
        CompleteCase{"UnknownRegion", "XX", "30", u"030 1234567"_s, {}, R::NoValidNumber}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

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

TEST(PhoneApplication, TakesTheLocationFromTheDatabase) {
    PhoneApplication component;
    DatabasePtr db = std::make_shared<LocationDatabase>(u"CH"_s, u"44"_s);
    const DatabasePtr before = db;
    component.UseDatabase(db);
    EXPECT_EQ(db, before) << "the real component leaves the reference alone";
    QString local = u"123 45 67"_s;
    EXPECT_EQ(component.CompleteNumber(local), u"+41 (44) 1234567"_s);
    EXPECT_EQ(local, u"123 45 67"_s);
}

TEST(PhoneApplication, WithoutALocationOnlyTheSystemRegionRemains) {
    const QString system = NumberCompleter::systemRegion();
    const std::vector<DatabasePtr> databases = {
        nullptr, std::make_shared<BareDatabase>(),
        std::make_shared<LocationDatabase>(u""_s, u"30"_s),
        std::make_shared<LocationDatabase>(u"ZZ"_s, u"30"_s)};
    for (DatabasePtr db : databases) {
        PhoneApplication component;
        component.UseDatabase(db);
        EXPECT_EQ(component.completer().region(), system);
        EXPECT_EQ(component.completer().areaCode(), u""_s) << "no area code without location";
        QString local = u"1234567"_s;
        EXPECT_EQ(component.CompleteNumber(local), local);
        QString international = u"0049 30 1234567"_s;
        EXPECT_EQ(component.CompleteNumber(international), kBerlin);
    }
}

TEST(PhoneApplication, ALaterDatabaseReplacesTheLocation) {
    PhoneApplication component;
    DatabasePtr berlin = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    DatabasePtr vienna = std::make_shared<LocationDatabase>(u"AT"_s, u"1"_s);
    component.UseDatabase(berlin);
    component.UseDatabase(vienna);
    QString local = u"5123456"_s;
    EXPECT_EQ(component.CompleteNumber(local), u"+43 (1) 5123456"_s);
}

} // namespace

namespace {

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

} // namespace

namespace {

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

// Whatever keepsItsDigits lets through completes to the same digits, or stays as it is.
TEST(NumberCompleter, ValuesThatKeepTheirDigitsDoSo) {
    const NumberCompleter completer(u"DE"_s, u"30"_s);
    auto grouping = [](QString text) {
        text.remove(u' ');
        text.remove(u'(');
        text.remove(u')');
        return text;
    };
    for (const QString& value :
         {u"+49 30 1234567"_s, u"+1 425 555 1212"_s, u"+43 1 5123456"_s, u"+41 44 123 45 67"_s,
          u"+49 171 1234567"_s, u"+33 1 23 45 67 89"_s, u"+39 06 12345678"_s,
          u"+44 20 7946 0958"_s}) {
        if (!NumberCompleter::keepsItsDigits(value))
            continue;
        EXPECT_EQ(grouping(completer.complete(value)), grouping(value)) << value.toStdString();
    }
}

} // namespace
