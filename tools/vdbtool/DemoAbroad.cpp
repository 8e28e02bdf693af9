#include "DemoAbroad.h"

#include "DemoRandom.h"
#include "ToolError.h"

#include <QStringView>

#include <span>

using namespace Qt::StringLiterals;

namespace {

// The stream the customers' countries are drawn from; the telephone fields have theirs.
constexpr quint64 kCountryStream = 60;

// A national significant number: prefix (area code or mobile prefix), then digits more, the
// first of them one of first, written in groups of the sizes in groups ("322": "668 18 00").
struct Plan {
    QStringView prefix;
    int digits;
    QStringView groups;
    QStringView first = u"23456789";
};

struct Country {
    QStringView region;
    QStringView code;
    QStringView trunk; // dialled before a national number; Italy and Poland have none
    int perMille;      // of the customers
    std::span<const QStringView> lands;
    std::span<const QStringView> cities;
    std::span<const Plan> landline;
    std::span<const Plan> mobile;
};

constexpr QStringView kHomeLands[] = {u"", u"", u"", u"Deutschland", u"DE"};

constexpr QStringView kAtLands[] = {u"Österreich", u"AT", u"Austria", u"AUT", u"österreich"};
constexpr QStringView kAtCities[] = {u"Wien", u"Graz", u"Linz", u"Salzburg", u"Innsbruck"};
constexpr Plan kAtLandline[] = {
    {u"1", 7, u"7"}, {u"316", 6, u"6"}, {u"732", 6, u"6"}, {u"662", 6, u"6"}, {u"512", 6, u"6"}};
constexpr Plan kAtMobile[] = {{u"664", 7, u"7"}, {u"660", 7, u"7"}, {u"676", 7, u"7"}};

constexpr QStringView kChLands[] = {u"Schweiz", u"CH", u"Switzerland", u" CH", u"schweiz"};
constexpr QStringView kChCities[] = {u"Zürich", u"Bern", u"Basel", u"Genf", u"St. Gallen"};
constexpr Plan kChLandline[] = {{u"44", 7, u"322"},
                                {u"31", 7, u"322"},
                                {u"61", 7, u"322"},
                                {u"22", 7, u"322"},
                                {u"71", 7, u"322"}};
constexpr Plan kChMobile[] = {{u"79", 7, u"322"}, {u"78", 7, u"322"}, {u"76", 7, u"322"}};

constexpr QStringView kFrLands[] = {u"Frankreich", u"FR", u"France", u"frankreich "};
constexpr QStringView kFrCities[] = {u"Paris", u"Lyon", u"Straßburg", u"Bordeaux"};
constexpr Plan kFrLandline[] = {{u"1", 8, u"2222", u"2345"},
                                {u"4", 8, u"2222", u"2345"},
                                {u"3", 8, u"2222", u"2345"},
                                {u"5", 8, u"2222", u"3456"}};
constexpr Plan kFrMobile[] = {{u"6", 8, u"2222", u"0124578"}, {u"7", 8, u"2222", u"5678"}};

constexpr QStringView kNlLands[] = {u"Niederlande", u"NL", u"Netherlands", u"NLD"};
constexpr QStringView kNlCities[] = {u"Amsterdam", u"Rotterdam", u"Utrecht", u"Den Haag"};
constexpr Plan kNlLandline[] = {
    {u"20", 7, u"34"}, {u"10", 7, u"34"}, {u"30", 7, u"34"}, {u"70", 7, u"34"}};
constexpr Plan kNlMobile[] = {{u"6", 8, u"8", u"12345"}};

// Italian numbers keep their leading 0 after +39.
constexpr QStringView kItLands[] = {u"Italien", u"IT", u"Italy"};
constexpr QStringView kItCities[] = {u"Mailand", u"Rom", u"Turin", u"Florenz"};
constexpr Plan kItLandline[] = {
    {u"02", 8, u"44"}, {u"06", 8, u"44"}, {u"011", 7, u"34"}, {u"055", 7, u"34"}};
constexpr Plan kItMobile[] = {
    {u"333", 7, u"34"}, {u"347", 7, u"34"}, {u"320", 7, u"34"}, {u"340", 7, u"34"}};

constexpr QStringView kPlLands[] = {u"Polen", u"PL", u"Poland"};
constexpr QStringView kPlCities[] = {u"Warschau", u"Krakau", u"Posen", u"Breslau"};
constexpr Plan kPlLandline[] = {
    {u"22", 7, u"322"}, {u"12", 7, u"322"}, {u"61", 7, u"322"}, {u"71", 7, u"322"}};
constexpr Plan kPlMobile[] = {
    {u"501", 6, u"33"}, {u"602", 6, u"33"}, {u"691", 6, u"33"}, {u"781", 6, u"33"}};

constexpr QStringView kUsLands[] = {u"USA", u"US", u"Vereinigte Staaten", u"usa"};
constexpr QStringView kUsCities[] = {u"New York", u"San Francisco", u"Chicago", u"Boston"};
constexpr Plan kUsLines[] = {{u"212", 7, u"34"},
                             {u"415", 7, u"34"},
                             {u"312", 7, u"34"},
                             {u"617", 7, u"34"},
                             {u"206", 7, u"34"}};

constexpr QStringView kGbLands[] = {u"UK", u"GB", u"United Kingdom", u"Vereinigtes Königreich"};
constexpr QStringView kGbCities[] = {u"London", u"Manchester", u"Glasgow", u"London"};
constexpr Plan kGbLandline[] = {{u"20", 8, u"44", u"378"}, {u"161", 7, u"34"}, {u"141", 7, u"34"}};
constexpr Plan kGbMobile[] = {
    {u"7400", 6, u"6"}, {u"7500", 6, u"6"}, {u"7723", 6, u"6"}, {u"7825", 6, u"6"}};

// Germany first: it takes what the others leave of 1000.
constexpr Country kCountries[] = {
    {u"DE", u"49", u"0", 0, kHomeLands, {}, {}, {}},
    {u"AT", u"43", u"0", 50, kAtLands, kAtCities, kAtLandline, kAtMobile},
    {u"CH", u"41", u"0", 50, kChLands, kChCities, kChLandline, kChMobile},
    {u"FR", u"33", u"0", 20, kFrLands, kFrCities, kFrLandline, kFrMobile},
    {u"NL", u"31", u"0", 20, kNlLands, kNlCities, kNlLandline, kNlMobile},
    {u"IT", u"39", u"", 15, kItLands, kItCities, kItLandline, kItMobile},
    {u"PL", u"48", u"", 15, kPlLands, kPlCities, kPlLandline, kPlMobile},
    {u"US", u"1", u"1", 15, kUsLands, kUsCities, kUsLines, kUsLines},
    {u"GB", u"44", u"0", 15, kGbLands, kGbCities, kGbLandline, kGbMobile},
};

// Weights of the notations abroad, in DemoNotation order: mostly as dialled inside the
// country, a fifth with the country code, a few values without a number.
constexpr int kAbroadWeights[kDemoNotationCount] = {55, 20, 8, 7, 0, 0, 0, 0,
                                                    0,  0,  0, 0, 2, 4, 4, 0};
constexpr int kAbroadMobileWeights[kDemoNotationCount] = {55, 20, 5, 3, 0, 0, 0,  0,
                                                          0,  0,  0, 0, 1, 4, 12, 0};
constexpr QStringView kNoNumber[] = {u"n/a", u"-", u"folgt"};

const Country& countryOf(const QString& region) {
    for (const Country& country : std::span(kCountries).subspan(1)) {
        if (country.region == region)
            return country;
    }
    fail(u"the demo has no customers in "_s + region);
}

QString grouped(const QString& digits, QStringView groups) {
    QString text;
    qsizetype at = 0;
    for (const QChar size : groups) {
        if (!text.isEmpty())
            text += u' ';
        const qsizetype n = size.digitValue();
        text += digits.mid(at, n);
        at += n;
    }
    return text;
}

QString rest(DemoRandom& random, const Plan& plan, bool northAmerican) {
    QString digits = plan.first.at(random.below(static_cast<int>(plan.first.size()))) +
                     random.digits(plan.digits - 1, 0);
    // A North American exchange is never N11; 555 is the classic one.
    if (northAmerican && random.chance(40))
        digits.replace(0, 3, u"555"_s);
    if (northAmerican && digits.mid(1, 2) == u"11"_s)
        digits[2] = u'2';
    return digits;
}

QString northAmerican(DemoNotation notation, DemoRandom& random, const QString& area,
                      const QString& digits) {
    const QString exchange = digits.left(3);
    const QString line = digits.mid(3);
    if (notation == DemoNotation::National) {
        switch (random.below(4)) {
        case 0:
            return u"("_s + area + u") "_s + exchange + u'-' + line;
        case 1:
            return area + u'-' + exchange + u'-' + line;
        case 2:
            return u"1-"_s + area + u'-' + exchange + u'-' + line; // with the trunk prefix
        default:
            return area + u'.' + exchange + u'.' + line;
        }
    }
    const QString head = notation == DemoNotation::InternationalZeroZero ? u"001 "_s : u"+1 "_s;
    return head + area + u' ' + exchange + u'-' + line;
}

DemoPhone draw(DemoRandom& random, const Country& country, DemoLine line) {
    const bool mobile = line == DemoLine::Mobile;
    auto notation = static_cast<DemoNotation>(
        random.weighted(mobile ? std::span<const int>(kAbroadMobileWeights)
                               : std::span<const int>(kAbroadWeights)));
    // Without a trunk prefix there is none to put in brackets.
    if (notation == DemoNotation::TrunkInBrackets && country.trunk != u"0")
        notation = DemoNotation::International;
    DemoPhone phone{notation, {}};
    const Plan& plan = random.pick<Plan>(mobile ? country.mobile : country.landline);
    const QString prefix = plan.prefix.toString();
    const bool us = country.code == u"1";
    const QString digits = rest(random, plan, us);
    const QString tail = prefix + u' ' + grouped(digits, plan.groups);
    const QString code = country.code.toString();
    switch (notation) {
    case DemoNotation::National:
        phone.value =
            us ? northAmerican(notation, random, prefix, digits) : country.trunk.toString() + tail;
        break;
    case DemoNotation::International:
        phone.value =
            us ? northAmerican(notation, random, prefix, digits) : u'+' + code + u' ' + tail;
        break;
    case DemoNotation::InternationalZeroZero:
        phone.value =
            us ? northAmerican(notation, random, prefix, digits) : u"00"_s + code + u' ' + tail;
        break;
    case DemoNotation::TrunkInBrackets:
        phone.value = QString((random.chance(50) ? u"+"_s : u"00"_s) + code + u" (0)"_s + tail);
        break;
    case DemoNotation::NoDigits:
        phone.value = random.pick<QStringView>(kNoNumber).toString();
        break;
    case DemoNotation::Empty:
        phone.value = u""_s;
        break;
    default:
        phone.notation = DemoNotation::Null;
        break;
    }
    return phone;
}

} // namespace

DemoCountry demoCustomerCountry(quint64 seed, quint64 index) {
    DemoRandom random = DemoRandom::forItem(seed, kCountryStream, index);
    int draw = random.below(1000);
    for (const Country& country : std::span(kCountries).subspan(1)) {
        if (draw < country.perMille)
            return {country.region.toString(), random.pick<QStringView>(country.lands).toString(),
                    random.pick<QStringView>(country.cities).toString()};
        draw -= country.perMille;
    }
    return {u"DE"_s, random.pick<QStringView>(kHomeLands).toString(), {}};
}

DemoPhone demoAbroadPhone(quint64 seed, quint64 stream, quint64 index, const QString& region,
                          DemoLine line) {
    DemoRandom random = DemoRandom::forItem(seed, stream, index);
    const Country& country = countryOf(region);
    for (;;) {
        DemoPhone phone = draw(random, country, line);
        if (line != DemoLine::Fax || phone.value.toString().size() <= DemoNumbers::kFaxMaxLength)
            return phone;
    }
}
