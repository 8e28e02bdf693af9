#include "NumberShapes.h"

#include "NumberText.h"

#include <QChar>

#include <array>
#include <string_view>

using numbertext::isDigit;
using Qt::CaseInsensitive;

namespace {

bool isSpace(char16_t c) {
    return numbertext::isBlank(c) || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isHexDigit(char16_t c) {
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isThousandsSeparator(char16_t c) {
    return c == u'.' || c == u',' || c == u'\'' || c == u'\u2019';
}

bool isCurrencySymbol(char16_t c) {
    return c >= 0x20 && QChar::category(char32_t(c)) == QChar::Symbol_Currency;
}

// Characters that close a sentence or a bracket after a token, not part of what it holds.
bool isTrailing(char16_t c) {
    return std::u16string_view(u".,;:!?)]}>\"'\u00BB").find(c) != std::u16string_view::npos;
}

bool hasDigit(QStringView text) {
    for (const QChar c : text)
        if (isDigit(c.unicode()))
            return true;
    return false;
}

QStringView trimmed(QStringView token) {
    while (!token.isEmpty() && std::u16string_view(u"(<[\"'\u00AB").find(token.front().unicode()) !=
                                   std::u16string_view::npos)
        token = token.sliced(1);
    while (!token.isEmpty() && isTrailing(token.back().unicode()))
        token.chop(1);
    return token;
}

// Groups of digits from the first digit on, each two parted by one of ".,:-/'" (a blank ends
// the token before): "2009-01-22", "1.234,56", "192.168.1.1".
struct Groups {
    static constexpr int kMax = 8;
    std::array<QStringView, kMax> digits;
    std::array<char16_t, kMax> separators{}; // separators[i] stands before digits[i + 1]
    int count = 0;
    QStringView rest; // behind the last group

    qsizetype length(int i) const { return digits[i].size(); }
    bool leadingZero(int i) const { return digits[i].size() > 1 && digits[i][0] == u'0'; }
    int value(int i) const {
        int v = 0;
        for (const QChar c : digits[i].first(std::min<qsizetype>(digits[i].size(), 6)))
            v = v * 10 + (c.unicode() - u'0');
        return digits[i].size() > 6 ? 1000000 : v;
    }
    bool allSeparatorsAre(bool (*is)(char16_t)) const {
        for (int i = 0; i + 1 < count; ++i)
            if (!is(separators[i]))
                return false;
        return true;
    }
};

Groups groupsOf(QStringView text) {
    static constexpr std::u16string_view kSeparators = u".,:-/'\u2019";
    Groups g;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (g.count < Groups::kMax) {
        const qsizetype from = i;
        while (i < n && isDigit(text[i].unicode()))
            ++i;
        g.digits[g.count++] = text.sliced(from, i - from);
        if (i + 1 >= n || kSeparators.find(text[i].unicode()) == std::u16string_view::npos ||
            !isDigit(text[i + 1].unicode()))
            break;
        g.separators[g.count - 1] = text[i].unicode();
        ++i;
    }
    g.rest = text.sliced(i);
    return g;
}

bool isDayAndMonth(int day, int month) {
    return day >= 1 && day <= 31 && month >= 1 && month <= 12;
}

bool isDate(const Groups& g) {
    if (g.count != 3 || g.separators[1] != g.separators[0])
        return false;
    const char16_t s = g.separators[0];
    const bool fullYearFirst =
        g.length(0) == 4 && (g.digits[0].startsWith(u"19") || g.digits[0].startsWith(u"20"));
    // ISO 8601, with a time after "T" or alone: "2009-01-22", "2009-01-22T10:15:30Z".
    if (s == u'-' && fullYearFirst && g.length(1) == 2 && g.length(2) == 2)
        return isDayAndMonth(g.value(2), g.value(1)) &&
               (g.rest.isEmpty() || g.rest.front() == u'T' || g.rest.front() == u't');
    if (!g.rest.isEmpty() || g.length(1) > 2)
        return false;
    if ((s == u'.' || s == u'/') && fullYearFirst && g.length(2) <= 2)
        return isDayAndMonth(g.value(2), g.value(1));
    // "22.01.2009", "22-01-2009", and with a slash month first too: "3/4/24", "12/31/24".
    const bool year = g.length(2) == 4 || (g.length(2) == 2 && s != u'-');
    return year && g.length(0) <= 2 && (s == u'.' || s == u'/' || s == u'-') &&
           (isDayAndMonth(g.value(0), g.value(1)) ||
            (s == u'/' && isDayAndMonth(g.value(1), g.value(0))));
}

// "10:15", "10:15:30".
bool isTime(const Groups& g) {
    if (g.count < 2 || g.count > 3 || g.length(0) == 0 || g.length(0) > 2 || g.value(0) > 24)
        return false;
    for (int i = 1; i < g.count; ++i)
        if (g.separators[i - 1] != u':' || g.length(i) != 2 || g.value(i) > 59)
            return false;
    return true;
}

// "192.168.1.1", "10.0.0.254:8080", "10.0.0.0/8".
bool isIpV4(const Groups& g) {
    if (g.count == 5 ? (g.separators[3] != u':' && g.separators[3] != u'/')
                     : (g.count != 4 || !g.rest.isEmpty()))
        return false;
    bool pairs = true;
    for (int i = 0; i < 4; ++i) {
        if ((i < 3 && g.separators[i] != u'.') || g.length(i) > 3 || g.leadingZero(i) ||
            g.value(i) > 255)
            return false;
        pairs = pairs && (i == 0 ? g.length(0) <= 2 : g.length(i) == 2);
    }
    // "12.34.56.78", "1.23.45.67": a local number grouped in pairs.
    return !pairs;
}

// "2001:db8::1", "fe80::1ff:fe23:4567:890a", "::ffff:10.0.0.1".
bool isIpV6(QStringView token) {
    int colons = 0;
    qsizetype group = 0;
    bool shortened = false;
    for (qsizetype i = 0; i < token.size(); ++i) {
        const char16_t c = token[i].unicode();
        if (c == u':') {
            if (i > 0 && token[i - 1] == u':') {
                if (shortened)
                    return false;
                shortened = true;
            }
            ++colons;
            group = 0;
        } else if (c == u'.') {
            group = 0;
        } else if (!isHexDigit(c) || ++group > 4) {
            return false;
        }
    }
    return colons >= 2 && (shortened || colons == 7) && hasDigit(token);
}

// "1.000.000", "1,000,000", "1'000'000"; with decimals behind them, an amount: "1.234,56".
UnreadableReason thousands(const Groups& g) {
    if (g.count < 2 || !g.rest.isEmpty() || g.length(0) > 3 || g.leadingZero(0) ||
        !isThousandsSeparator(g.separators[0]))
        return UnreadableReason::None;
    const char16_t s = g.separators[0];
    int i = 1;
    while (i < g.count && g.separators[i - 1] == s && g.length(i) == 3)
        ++i;
    if (i == g.count)
        return UnreadableReason::GroupedThousands;
    const char16_t decimal = g.separators[i - 1];
    if (i >= 2 && i == g.count - 1 && decimal != s && (decimal == u'.' || decimal == u','))
        return UnreadableReason::DecimalNumber;
    return UnreadableReason::None;
}

// "12959.9", "3.14159", "0,5", "12,50". With a dot both parts of a number are possible where
// neither is short ("555.1212", "123.4567"); a trunk prefix makes one ("030.1234567").
bool isDecimal(const Groups& g) {
    if (g.count != 2 || !g.rest.isEmpty() || g.leadingZero(0))
        return false;
    return g.separators[0] == u',' ||
           (g.separators[0] == u'.' && (g.length(0) == 1 || g.length(1) <= 2));
}

bool isCurrency(QStringView word) {
    word = trimmed(word);
    if (word.isEmpty())
        return false;
    bool symbols = true;
    for (const QChar c : word)
        symbols = symbols && isCurrencySymbol(c.unicode());
    if (symbols)
        return true;
    for (const char16_t* code : {u"EUR", u"Euro", u"CHF", u"SFr", u"USD", u"GBP"})
        if (word.compare(QStringView(code), CaseInsensitive) == 0)
            return true;
    return false;
}

bool isTopLevelDomain(QStringView label) {
    for (const char16_t* tld : {u"de", u"at", u"ch", u"li", u"lu", u"eu", u"com", u"net", u"org",
                                u"info", u"biz", u"nl", u"be", u"fr", u"it", u"uk", u"us", u"io"})
        if (label.compare(QStringView(tld), CaseInsensitive) == 0)
            return true;
    return false;
}

// "mail@030-1234567.de", "http://example.com/030-1234567", "www.0301234567.de",
// "example.com/kontakt/1234567".
bool isAddress(QStringView token) {
    token = trimmed(token);
    if (token.contains(u"://") || token.startsWith(u"www.", CaseInsensitive) ||
        token.startsWith(u"mailto:", CaseInsensitive))
        return true;
    const qsizetype at = token.indexOf(u'@');
    if (at > 0 && token.indexOf(u'.', at) > at + 1)
        return true;
    // A host with a known top-level domain, a path behind it or not.
    const QStringView host =
        token.first(token.indexOf(u'/') < 0 ? token.size() : token.indexOf(u'/'));
    const qsizetype dot = host.lastIndexOf(u'.');
    if (dot <= 0 || !isTopLevelDomain(host.sliced(dot + 1)))
        return false;
    for (const QChar c : host.first(dot))
        if (!isHexDigit(c.unicode()) && !c.isLetter() && c != u'-' && c != u'.')
            return false;
    return true;
}

} // namespace

UnreadableReason notATelephoneNumber(QStringView value, qsizetype numberEnd) {
    // The token holding the first digit, and the ones around it.
    qsizetype firstEnd = 0;
    QStringView before;
    QStringView first;
    QStringView after;
    QStringView previous;
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n;) {
        if (isSpace(value[i].unicode())) {
            ++i;
            continue;
        }
        const qsizetype from = i;
        while (i < n && !isSpace(value[i].unicode()))
            ++i;
        const QStringView token = value.sliced(from, i - from);
        if (!first.isEmpty() && after.isEmpty())
            after = token;
        if (hasDigit(token)) {
            if (isAddress(token))
                return UnreadableReason::InAddress;
            if (first.isEmpty()) {
                first = token;
                firstEnd = i;
                before = previous;
            }
        }
        previous = token;
    }
    if (first.isEmpty() || (!before.isEmpty() && before.back() == u'+'))
        return UnreadableReason::None;

    qsizetype d = 0;
    while (!isDigit(first[d].unicode()))
        ++d;
    // "+49.30.1234567": a "+" marks a telephone number.
    if (d > 0 && first[d - 1] == u'+')
        return UnreadableReason::None;
    QStringView core = first.sliced(d);
    bool currency = d > 0 && isCurrencySymbol(first[d - 1].unicode());
    while (!core.isEmpty() &&
           (isTrailing(core.back().unicode()) || isCurrencySymbol(core.back().unicode()))) {
        currency = currency || isCurrencySymbol(core.back().unicode());
        core.chop(1);
    }
    const Groups g = groupsOf(core);
    // "1312.23 / 53 / 388": grouping goes on behind the token, so its shape is a telephone
    // number's. A time may follow a date.
    const bool alone = numberEnd <= firstEnd;
    if ((isDate(g) && (alone || isTime(groupsOf(after)))) || (alone && isTime(g)))
        return UnreadableReason::DateOrTime;
    if (!alone)
        return UnreadableReason::None;
    if (isIpV4(g) || isIpV6(trimmed(first)))
        return UnreadableReason::IpAddress;
    if (g.rest.isEmpty() && g.allSeparatorsAre(isThousandsSeparator) &&
        (currency || isCurrency(before) || isCurrency(after)))
        return UnreadableReason::DecimalNumber;
    if (const UnreadableReason grouped = thousands(g); grouped != UnreadableReason::None)
        return grouped;
    return isDecimal(g) ? UnreadableReason::DecimalNumber : UnreadableReason::None;
}
