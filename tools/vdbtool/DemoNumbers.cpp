#include "DemoNumbers.h"

#include "DemoRandom.h"

#include <QStringView>

using namespace Qt::StringLiterals;

namespace {

struct Area {
    int country;
    QStringView code;
    int minDigits; // of the subscriber number
    int maxDigits;
};

constexpr Area kBerlin{49, u"30", 7, 8};
constexpr Area kGermanLandline[] = {
    kBerlin,
    {49, u"40", 7, 8},
    {49, u"89", 7, 8},
    {49, u"69", 7, 8},
    {49, u"221", 6, 8},
    {49, u"211", 6, 8},
    {49, u"711", 6, 8},
    {49, u"341", 6, 8},
    {49, u"351", 6, 8},
    {49, u"511", 6, 8},
    {49, u"911", 6, 8},
    {49, u"421", 6, 8},
    {49, u"6221", 5, 7},
    {49, u"7071", 5, 6},
    {49, u"33203", 4, 6},
};
// Three-digit area codes: with eight digits and a direct dial they fill 16 to 17 characters.
constexpr Area kGermanCities[] = {
    {49, u"221", 8, 8}, {49, u"211", 8, 8}, {49, u"711", 8, 8}, {49, u"341", 8, 8},
    {49, u"351", 8, 8}, {49, u"511", 8, 8}, {49, u"911", 8, 8}, {49, u"421", 8, 8},
};
constexpr Area kGermanMobile[] = {
    {49, u"151", 8, 8}, {49, u"152", 8, 8}, {49, u"157", 8, 8}, {49, u"160", 7, 7},
    {49, u"162", 7, 7}, {49, u"170", 7, 7}, {49, u"171", 7, 7}, {49, u"172", 7, 7},
    {49, u"175", 7, 7}, {49, u"176", 7, 8}, {49, u"179", 7, 8},
};
constexpr Area kAustrianLandline[] = {
    {43, u"1", 7, 7},   {43, u"316", 6, 7}, {43, u"732", 6, 7},
    {43, u"662", 6, 6}, {43, u"512", 6, 6},
};
constexpr Area kAustrianMobile[] = {
    {43, u"664", 7, 7},
    {43, u"660", 7, 7},
    {43, u"676", 7, 7},
    {43, u"699", 8, 8},
};
constexpr Area kSwissLandline[] = {
    {41, u"44", 7, 7}, {41, u"31", 7, 7}, {41, u"61", 7, 7}, {41, u"22", 7, 7}, {41, u"21", 7, 7},
};
constexpr Area kSwissMobile[] = {
    {41, u"76", 7, 7},
    {41, u"77", 7, 7},
    {41, u"78", 7, 7},
    {41, u"79", 7, 7},
};
constexpr Area kNorthAmerica[] = {
    {1, u"212", 7, 7}, {1, u"415", 7, 7}, {1, u"425", 7, 7},
    {1, u"312", 7, 7}, {1, u"617", 7, 7}, {1, u"206", 7, 7},
};
constexpr QStringView kNoDigits[] = {u"n/a",   u"unbekannt",   u"keine", u"-",
                                     u"k. A.", u"siehe Notiz", u"folgt"};

// Weights of the notations in DemoNotation order, per kind of field.
constexpr int kLandlineWeights[kDemoNotationCount] = {20, 10, 6, 5, 3, 8, 5, 6,
                                                      5,  5,  4, 6, 3, 4, 8, 2};
constexpr int kMobileWeights[kDemoNotationCount] = {30, 12, 6, 3, 1, 0, 3,  8,
                                                    4,  0,  3, 6, 2, 3, 20, 0};
constexpr int kFaxWeights[kDemoNotationCount] = {20, 8, 5, 5, 2, 6, 5, 6, 5, 5, 2, 6, 3, 4, 10, 8};

// Germany, Austria, Switzerland, North America.
constexpr int kCountryWeights[] = {45, 20, 20, 15};

struct Number {
    int country = 49;
    QString area;
    QString subscriber;
    QString extension;
};

Number drawNumber(DemoRandom& random, const Area& area) {
    Number number{area.country, area.code.toString(), {}, {}};
    if (area.country == 1) {
        // Exchanges start with 2-9 and are never N11; 555 is the classic one.
        QString exchange = random.chance(40) ? u"555"_s : random.digits(3);
        if (exchange.mid(1) == u"11"_s)
            exchange[2] = u'2';
        number.subscriber = exchange + random.digits(4, 0);
    } else {
        number.subscriber = random.digits(random.between(area.minDigits, area.maxDigits));
    }
    return number;
}

// "123 45 67": two pairs at the end, the rest in front.
QString pairs(const QString& digits) {
    if (digits.size() < 6)
        return digits;
    const qsizetype n = digits.size();
    return digits.left(n - 4) + u' ' + digits.mid(n - 4, 2) + u' ' + digits.right(2);
}

QString withExtension(const Number& n, const QString& text) {
    return n.extension.isEmpty() ? text : text + u'-' + n.extension;
}

QString national(const Number& n) {
    return withExtension(n, u'0' + n.area + u' ' + n.subscriber);
}

QString canonical(const Number& n) {
    return withExtension(n, u'+' + QString::number(n.country) + u" ("_s + n.area + u") "_s +
                                n.subscriber);
}

// Area code and subscriber number as written after the country code.
QString internationalTail(const Number& n) {
    if (n.country == 41)
        return n.area + u' ' + pairs(n.subscriber);
    if (n.country == 1)
        return n.area + u' ' + n.subscriber.left(3) + u' ' + n.subscriber.mid(3);
    return n.area + u' ' + n.subscriber;
}

const Area& foreignOrGerman(DemoRandom& random, bool mobile) {
    const int country = random.weighted(kCountryWeights);
    switch (country) {
    case 1:
        return mobile ? random.pick<Area>(kAustrianMobile) : random.pick<Area>(kAustrianLandline);
    case 2:
        return mobile ? random.pick<Area>(kSwissMobile) : random.pick<Area>(kSwissLandline);
    case 3:
        return random.pick<Area>(kNorthAmerica);
    default:
        return mobile ? random.pick<Area>(kGermanMobile) : random.pick<Area>(kGermanLandline);
    }
}

const Area& german(DemoRandom& random, bool mobile) {
    return mobile ? random.pick<Area>(kGermanMobile) : random.pick<Area>(kGermanLandline);
}

DemoPhone draw(DemoRandom& random, DemoLine line) {
    const int* weights = line == DemoLine::Mobile ? kMobileWeights
                         : line == DemoLine::Fax  ? kFaxWeights
                                                  : kLandlineWeights;
    const auto notation = static_cast<DemoNotation>(
        random.weighted(std::span<const int>(weights, kDemoNotationCount)));
    const bool mobile = line == DemoLine::Mobile;
    DemoPhone phone;
    phone.notation = notation;
    auto set = [&](const QString& value) {
        phone.value = value;
    };
    switch (notation) {
    case DemoNotation::National: {
        const Number n = drawNumber(random, german(random, mobile));
        set(national(n));
        break;
    }
    case DemoNotation::International: {
        const Number n = drawNumber(random, foreignOrGerman(random, mobile));
        set(u'+' + QString::number(n.country) + u' ' + internationalTail(n));
        break;
    }
    case DemoNotation::InternationalZeroZero: {
        const Number n = drawNumber(random, foreignOrGerman(random, mobile));
        set(u"00"_s + QString::number(n.country) + u' ' + internationalTail(n));
        break;
    }
    case DemoNotation::TrunkInBrackets: {
        Number n;
        do {
            n = drawNumber(random, foreignOrGerman(random, mobile));
        } while (n.country == 1); // North America has no trunk prefix 0
        const QString head = random.chance(50) ? u"00"_s : u"+"_s;
        set(head + QString::number(n.country) + u" (0)"_s + internationalTail(n));
        break;
    }
    case DemoNotation::NorthAmerican: {
        const Number n = drawNumber(random, random.pick<Area>(kNorthAmerica));
        set(u"+1 ("_s + n.area + u") "_s + n.subscriber.left(3) + u'-' + n.subscriber.mid(3));
        break;
    }
    case DemoNotation::Local: {
        const Number n = drawNumber(random, kBerlin);
        set(n.subscriber);
        break;
    }
    case DemoNotation::AreaInBrackets: {
        const Number n = drawNumber(random, german(random, mobile));
        set(u"(0"_s + n.area + u") "_s + n.subscriber);
        break;
    }
    case DemoNotation::Slash: {
        const Number n = drawNumber(random, german(random, mobile));
        set(u'0' + n.area + u'/' + n.subscriber);
        break;
    }
    case DemoNotation::Hyphenated: {
        const Number n = drawNumber(random, german(random, mobile));
        set(u'0' + n.area + u'-' + pairs(n.subscriber));
        break;
    }
    case DemoNotation::DirectDial: {
        Number n = drawNumber(random, german(random, false));
        n.extension = random.digits(random.between(1, 3), 1);
        set(national(n));
        break;
    }
    case DemoNotation::Labelled: {
        const Number n = drawNumber(random, german(random, mobile));
        if (random.chance(50))
            set(u"Tel. "_s + national(n));
        else
            set(national(n) + u" privat"_s);
        break;
    }
    case DemoNotation::Canonical: {
        const Number n = drawNumber(random, foreignOrGerman(random, mobile));
        set(canonical(n));
        break;
    }
    case DemoNotation::NoDigits: {
        const QString word = random.pick<QStringView>(kNoDigits).toString();
        set(word);
        break;
    }
    case DemoNotation::Empty:
        set(u""_s);
        break;
    case DemoNotation::Null:
        break;
    case DemoNotation::LongDirectDial: {
        Number n = drawNumber(random, random.pick<Area>(kGermanCities));
        n.extension = random.digits(random.between(2, 3), 1);
        set(national(n));
        break;
    }
    }
    return phone;
}

} // namespace

DemoPhone DemoNumbers::at(quint64 index) const {
    DemoRandom random = DemoRandom::forItem(seed_, stream_, index);
    for (;;) {
        DemoPhone phone = draw(random, line_);
        // Fax fields carry a length condition: every value must fit it as written.
        if (line_ != DemoLine::Fax || phone.value.toString().size() <= kFaxMaxLength)
            return phone;
    }
}
