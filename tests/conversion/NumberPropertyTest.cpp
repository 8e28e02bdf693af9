// Properties every completion keeps, over many generated values: numbers as people type them,
// two numbers in one value, and garbage.
#include "ConversionFakes.h"
#include "NumberCompleter.h"
#include "NumberFormatting.h"
#include "StringConversions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Plan {
    const char* region;
    const char* area;
    const char* countryCode;
    const char* trunk;
    std::vector<const char*> destinationCodes;
    int minSubscriber;
    int maxSubscriber;
};

const Plan kPlans[] = {
    {"DE", "30", "49", "0", {"30", "89", "40", "221", "6221", "171", "151", "800"}, 6, 8},
    {"AT", "1", "43", "0", {"1", "316", "664", "699"}, 6, 7},
    {"CH", "44", "41", "0", {"44", "31", "61", "79", "76"}, 7, 7},
    {"US", "425", "1", "1", {"425", "212", "650", "312"}, 7, 7},
};

// A generated value and the digits its completion must consist of.
struct Sample {
    QString value;
    QString before; // words in front
    QString after;  // words behind
    std::string expectedDigits;
};

// Anything besides digits, blanks and number punctuation: such text stays around the number.
bool hasWords(const QString& text) {
    static const QString punctuation =
        u" +()-/.\u00A0\u2007\u2009\u202F\u2010\u2011\u2013\u2014\u2212"_s;
    for (const QChar c : text)
        if ((c < u'0' || c > u'9') && !punctuation.contains(c))
            return true;
    return false;
}

QString digitsOnly(const QString& text) {
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

class Generator {
public:
    explicit Generator(unsigned seed)
        : random_(seed) {}

    int between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    template <typename Items>
    const auto& pick(const Items& items) {
        return items[static_cast<std::size_t>(between(0, static_cast<int>(std::size(items)) - 1))];
    }

    std::string digits(int count, char firstLow = '0') {
        std::string out;
        for (int i = 0; i < count; ++i)
            out.push_back(static_cast<char>(between(i == 0 ? firstLow : '0', '9')));
        return out;
    }

    // digits split into groups by one kind of separator.
    QString grouped(const std::string& digits) {
        static const QString separators[] = {u" "_s,      u" "_s,      u""_s,       u"-"_s,
                                             u"."_s,      u" "_s,      u"\u2013"_s, u"\u2009"_s,
                                             u"\u202F"_s, u"\u2007"_s, u"\u2212"_s, u"\u2011"_s};
        const QString separator = pick(separators);
        QString out;
        std::size_t at = 0;
        while (at < digits.size()) {
            const auto size =
                std::min<std::size_t>(static_cast<std::size_t>(between(2, 4)), digits.size() - at);
            if (at > 0)
                out += separator;
            out += QString::fromLatin1(digits.substr(at, size));
            at += size;
        }
        return out;
    }

    Sample number(const Plan& plan, bool allowLocal = true) {
        const std::string ndc = pick(plan.destinationCodes);
        const bool us = std::string(plan.region) == "US";
        const std::string sn =
            digits(between(plan.minSubscriber, plan.maxSubscriber), us ? '2' : '1');
        const QString cc = QString::fromLatin1(plan.countryCode);
        const QString trunk = QString::fromLatin1(plan.trunk);
        const QString area = QString::fromLatin1(ndc);
        const QString subscriber = between(0, 1) ? grouped(sn) : QString::fromLatin1(sn);
        const bool local = allowLocal && ndc == plan.area;

        Sample s;
        s.expectedDigits = plan.countryCode + ndc + sn;
        // T trunk prefix, A area code, S subscriber (maybe grouped), N ungrouped, C country code,
        // U the American "555-1212".
        static const QString shapes[] = {u"TA S"_s,   u"TA/S"_s,    u"(TA) S"_s,    u"TA-N"_s,
                                         u"+C A S"_s, u"00C A S"_s, u"+C (T)A S"_s, u"+C (A) N"_s,
                                         u"TA S"_s,   u"S"_s};
        const int shape = between(0, local ? 9 : 8);
        const QString parts[] = {
            trunk,
            area,
            subscriber,
            QString::fromLatin1(sn),
            cc,
            QString::fromLatin1(sn.substr(0, 3)) + u'-' +
                QString::fromLatin1(sn.substr(std::min<std::size_t>(3, sn.size())))};
        for (const QChar c : (us && shape == 8) ? u"(A) U"_s : shapes[shape]) {
            const qsizetype part = u"TASNCU"_s.indexOf(c);
            s.value += part < 0 ? QString(c) : parts[part];
        }
        if (between(0, 5) == 0) {
            const std::string suffix = digits(between(1, 3));
            s.value += u'-' + QString::fromLatin1(suffix);
            s.expectedDigits += suffix;
        }
        if (between(0, 5) == 0) {
            static const QString markers[] = {u" ext. "_s, u" x"_s, u" Durchwahl "_s, u", App. "_s};
            const std::string extension = digits(between(1, 4));
            s.value += pick(markers) + QString::fromLatin1(extension);
            s.expectedDigits += extension;
        }
        static const QString befores[] = {u""_s,      u""_s,        u"Tel. "_s,  u"Fax: "_s,
                                          u"TEL "_s,  u"Mobil "_s,  u"Ä "_s,     u"(Büro) "_s,
                                          u"Тел. "_s, u"\u260E "_s, u"Kunde "_s, u"Phone: "_s};
        static const QString afters[] = {
            u""_s,   u""_s,   u" privat"_s,     u" (Zentrale)"_s, u" "_s, u" geschäftlich"_s,
            u" x"_s, u" *"_s, u" \U0001F4DE"_s, u"\t(Büro)"_s};
        s.before = pick(befores);
        s.after = pick(afters);
        s.value = s.before + s.value + s.after;
        return s;
    }

    QString garbage() {
        static const char16_t pool[] = {
            u'0',   u'1',   u'3',   u'4',   u'7',   u'9',   u'0',   u' ',   u' ',   u'-',   u'/',
            u'.',   u'(',   u')',   u'+',   u'a',   u'x',   u'E',   u'T',   u',',   u'\t',  u'\0',
            0x00A0, 0xFF10, 0x0663, 0xD800, 0xDC00, 0x00C4, u'#',   u'*',   u':',   0x2212, 0x00B2,
            u'e',   u'l',   u'8',   0x2013, 0x2009, 0x202F, 0x2011, 0x260E, 0x0422, 0xFFFD};
        QString out;
        const int length = between(0, 40);
        for (int i = 0; i < length; ++i)
            out += QChar(pick(pool));
        if (between(0, 3) == 0)
            out.insert(between(0, static_cast<int>(out.size())), u"030 1234567"_s);
        return out;
    }

private:
    std::mt19937 random_;
};

constexpr int kPerPlan = 1500;

// Changed values keep every subscriber digit in order and gain only the country code (and the
// area code of a local number); completing again changes nothing; FormatKanonical puts the words
// back around the number, never the number's own "+" or "(", and leaves the stored value alone.
// Two numbers that each complete alone are never merged into one.
TEST(NumberProperties, GeneratedNumbersKeepEveryDigitAndTheirWords) {
    Generator generate(20260101);
    static const QString joins[] = {u" "_s, u" / "_s, u"/"_s, u", "_s, u" oder "_s, u"; "_s};
    for (const Plan& plan : kPlans) {
        const QString region = QString::fromLatin1(plan.region);
        const QString area = QString::fromLatin1(plan.area);
        const NumberCompleter completer(region, area);
        DatabasePtr db = std::make_shared<LocationDatabase>(region, area);
        KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
        int changed = 0;
        int cheap = 0;
        QString previous; // the last value that changed
        for (int i = 0; i < kPerPlan; ++i) {
            const Sample s = generate.number(plan);
            const QString result = completer.complete(s.value);
            ASSERT_EQ(completer.complete(result), result) << s.value.toStdString();
            QString value = s.value;
            const QString once = formatter.FormatKanonical(value);
            ASSERT_EQ(value, s.value) << "the stored value is not touched";
            QString again = once;
            ASSERT_EQ(formatter.FormatKanonical(again), once) << s.value.toStdString();
            if (result == s.value) {
                ASSERT_EQ(once, s.value);
                continue;
            }
            ++changed;
            ASSERT_TRUE(result.startsWith(u'+')) << s.value.toStdString();
            ASSERT_EQ(digitsOnly(result).toStdString(), s.expectedDigits)
                << s.value.toStdString() << " -> " << result.toStdString();
            ASSERT_FALSE(result.contains(u"privat"_s) || result.contains(u"Tel"_s))
                << result.toStdString();
            ASSERT_EQ(once, hasWords(s.value) ? s.before + result + s.after : result)
                << s.value.toStdString();
            // The second run's cheap check: only where formatting cannot change anything.
            ASSERT_FALSE(NumberCannotChange(s.value) && NumberChanged(s.value, once))
                << s.value.toStdString();
            cheap += NumberCannotChange(once) ? 1 : 0;
            const QString two = previous + joins[changed % 6] + s.value.trimmed();
            ASSERT_TRUE(previous.isEmpty() || completer.complete(two) == two) << two.toStdString();
            previous = s.value.trimmed();
        }
        // Random subscriber numbers are not all valid, but most must complete; values with a
        // direct-dial suffix or an extension are verified in full.
        EXPECT_GT(changed, kPerPlan * 7 / 10) << plan.region;
        EXPECT_GT(cheap, changed / 2) << plan.region;
    }
}

// Dates, times, amounts, grouped thousands and addresses as programs write them never read as
// numbers, whatever their digits; each keeps its own reason.
TEST(NumberProperties, GeneratedNonNumbersStayWithTheirReason) {
    Generator generate(7);
    const NumberCompleter completer(u"DE"_s, u"30"_s);
    const auto n = [&](int low, int high, int width = 2) {
        return QString::number(generate.between(low, high)).rightJustified(width, u'0');
    };
    using R = UnreadableReason;
    for (int i = 0; i < 2000; ++i) {
        const QString year = n(1900, 2099);
        const std::pair<QString, R> values[] = {
            {year + u'-' + n(1, 12) + u'-' + n(1, 28) + u"T10:15"_s.first(i % 2 * 6),
             R::DateOrTime},
            {n(1, 28) + u'.' + n(1, 12) + u'.' + year, R::DateOrTime},
            {n(0, 23) + u':' + n(0, 59) + u':' + n(0, 59), R::DateOrTime},
            {n(1, 99999, 1) + u'.' + n(0, 99, 1 + i % 2), R::DecimalNumber},
            {n(1, 999, 1) + u'.' + n(0, 999, 3) + u'.' + n(0, 999, 3), R::GroupedThousands},
            {n(1, 999, 1) + u',' + n(0, 999, 3) + u'.' + n(0, 99), R::DecimalNumber},
            {n(100, 255) + u'.' + n(0, 255, 1) + u'.' + n(0, 99, 1) + u'.' + n(0, 9, 1),
             R::IpAddress},
            {u"info@"_s + n(1000000, 9999999) + u".de"_s, R::InAddress}};
        for (const auto& [value, reason] : values) {
            const FormattedValue result = completer.completeWithReason(value);
            ASSERT_EQ(result.text + QLatin1String(unreadableReasonKey(result.reason)),
                      value + QLatin1String(unreadableReasonKey(reason)));
        }
    }
}

// Garbage: no crash, FormatKanonical's result is a fixed point and the stored value stays. The
// completer's own rules on garbage are those of the fuzz target fuzz_numbers.
TEST(NumberProperties, GarbageStaysFixed) {
    Generator generate(99);
    DatabasePtr db = std::make_shared<LocationDatabase>(u"DE"_s, u"30"_s);
    KanonicalFormatter formatter(ComponentFactory::withDefaults(), db);
    for (int i = 0; i < 6000; ++i) {
        QString value = generate.garbage();
        const QString copy = value;
        QString once = formatter.FormatKanonical(value);
        const QString twice = formatter.FormatKanonical(once);
        ASSERT_EQ(value, copy);
        ASSERT_EQ(twice, once) << value.toStdString();
    }
}

} // namespace
