#include "NumberCompleter.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <vector>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;
using namespace Qt::StringLiterals;

namespace {

// More than any international prefix, country code and national number together: a longer run
// cannot be one number, and libphonenumber never sees it.
constexpr std::size_t kMaxDigits = 20;
constexpr std::size_t kMaxNsnDigits = 17;
// A hyphenated tail longer than this is grouping, not a direct-dial suffix.
constexpr qsizetype kMaxSuffixDigits = 6;
constexpr qsizetype kMaxExtensionDigits = 6;
// Shorter values are internal extensions or not numbers at all ("Kunde seit 1998"); longer ones
// are national numbers from elsewhere. libphonenumber accepts both once an area code is put in
// front, so the length is the only guard.
constexpr std::size_t kMinLocalDigits = 5;
constexpr std::size_t kMaxLocalDigits = 8;

// Longer markers first, so that "extension" is not taken for "ext" followed by a letter.
constexpr std::u16string_view kExtensionMarkers[] = {
    u"extension", u"extn", u"ext",         u"durchwahl", u"dw",
    u"apparat",   u"app",  u"nebenstelle", u"nst",       u"x",
};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Characters people group a number with. Tabs, commas and the like end the number.
bool isGrouping(char16_t c) {
    return c == u' ' || c == u'/' || c == u'-' || c == u'.' || c == u'(' || c == u')' ||
           c == u'\u00A0';
}

QString latin1(std::string_view digits) {
    return QString::fromLatin1(digits.data(), static_cast<qsizetype>(digits.size()));
}

std::string asciiDigits(QStringView text) {
    std::string digits;
    digits.reserve(24);
    for (const QChar c : text)
        if (isDigit(c.unicode()))
            digits.push_back(static_cast<char>(c.unicode()));
    return digits;
}

// The last safety net, independent of how the result was put together: the result's digits
// are the country code, an added area code, and every input digit behind the dropped head.
bool keepsEveryDigit(QStringView consumed, QStringView result, std::string_view head,
                     std::string_view front) {
    const std::string in = asciiDigits(consumed);
    const std::string out = asciiDigits(result);
    if (!std::string_view(in).starts_with(head))
        return false;
    const std::string_view kept = std::string_view(in).substr(head.size());
    const std::string_view outView(out);
    return outView.size() == front.size() + kept.size() && outView.starts_with(front) &&
           outView.substr(front.size()) == kept;
}

// Length of an extension marker word at p (case-insensitive), or 0.
qsizetype markerAt(const char16_t* p, qsizetype n) {
    for (const std::u16string_view marker : kExtensionMarkers) {
        const auto length = static_cast<qsizetype>(marker.size());
        if (length > n)
            continue;
        qsizetype k = 0;
        while (k < length && asciiLower(p[k]) == marker[static_cast<std::size_t>(k)])
            ++k;
        if (k == length && (k == n || !isAsciiLetter(p[k])))
            return length;
    }
    return 0;
}

} // namespace

struct NumberCompleter::Reading {
    PhoneNumber number;
    PhoneNumberUtil::PhoneNumberType type = PhoneNumberUtil::UNKNOWN;
    std::string countryCode;
    std::string nsn;
    std::string head;  // input digits dropped: international prefix, country code, trunk prefix
    std::string added; // digits put in front of the input: the location's area code
};

struct NumberCompleter::Scan {
    struct Group {
        std::size_t offset; // into digits
        qsizetype textStart;
        qsizetype textEnd;
    };
    qsizetype start = 0; // first character, a leading '+' or '(' included
    qsizetype end = 0;   // after the last digit of number and suffix
    qsizetype extensionEnd = 0;
    bool plus = false;
    bool brackets = false;
    std::string digits;
    std::vector<Group> groups;
};

NumberCompleter::NumberCompleter()
    : util_(*PhoneNumberUtil::GetInstance()) {}

NumberCompleter::NumberCompleter(const QString& region, const QString& areaCode)
    : NumberCompleter() {
    setLocation(region, areaCode);
}

void NumberCompleter::setLocation(const QString& region, const QString& areaCode) {
    region_.clear();
    countryCode_ = 0;
    trunk_.clear();
    area_.clear();
    nationalWithoutTrunk_ = false;

    const QString code = region.trimmed().toUpper();
    if (code.size() != 2 || !isAsciiLetter(code[0].unicode()) || !isAsciiLetter(code[1].unicode()))
        return;
    const std::string r = code.toStdString();
    const int cc = util_.GetCountryCodeForRegion(r);
    if (cc == 0)
        return;
    region_ = r;
    countryCode_ = cc;
    util_.GetNddPrefixForRegion(r, true, &trunk_);
    // Where no trunk prefix is dialled, or dialling it is optional, a number without one is a
    // full national number; elsewhere it is a local one.
    nationalWithoutTrunk_ = trunk_.empty() || util_.IsNANPACountry(r);
    if (trunk_.empty())
        return;

    std::string area;
    for (const QChar c : areaCode) {
        const char16_t u = c.unicode();
        if (isDigit(u))
            area.push_back(static_cast<char>(u));
        else if (u != u' ' && u != u'(' && u != u')' && u != u'-' && u != u'/')
            return;
    }
    if (area.starts_with(trunk_))
        area.erase(0, trunk_.size());
    if (area.size() <= 6)
        area_ = std::move(area);
}

bool NumberCompleter::keepsItsDigits(QStringView number) {
    if (number.isEmpty() || number[0] != u'+')
        return false;
    std::string digits;
    for (qsizetype i = 1; i < number.size(); ++i) {
        const char16_t c = number[i].unicode();
        if (isDigit(c))
            digits += static_cast<char>(c);
        else if (c != u' ' && c != u'(' && c != u')')
            return false;
    }
    if (digits.size() < 7 || digits.size() > 17 || digits[0] == '0')
        return false;
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    // Country codes are prefix-free: the first known one is the one a completion reads.
    for (std::size_t length = 1; length <= 3; ++length) {
        std::string region;
        util.GetRegionCodeForCountryCode(std::stoi(digits.substr(0, length)), &region);
        if (region == "ZZ")
            continue;
        const std::string_view national = std::string_view(digits).substr(length);
        std::string trunk;
        util.GetNddPrefixForRegion(region, true, &trunk);
        return !national.empty() && national[0] != '0' &&
               (trunk.empty() || !national.starts_with(trunk));
    }
    return false;
}

QString NumberCompleter::systemRegion() {
    const QString code = QLocale::territoryToCode(QLocale::system().territory());
    if (code.size() != 2 ||
        PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(code.toStdString()) == 0)
        return {};
    return code;
}

bool NumberCompleter::looksCanonical(QStringView s) {
    const qsizetype n = s.size();
    if (n < 8 || n > 32 || s[0] != u'+')
        return false;
    qsizetype i = 1;
    const auto run = [&](qsizetype max) {
        const qsizetype from = i;
        while (i < n && i - from < max && isDigit(s[i].unicode()))
            ++i;
        return i - from;
    };
    // No leading zero in country or destination code: a bracketed "0" is a trunk prefix.
    if (s[i] == u'0')
        return false;
    const qsizetype cc = run(3);
    if (cc == 0 || i + 2 >= n || s[i] != u' ' || s[i + 1] != u'(' || s[i + 2] == u'0')
        return false;
    i += 2;
    const qsizetype ndc = run(8);
    if (ndc == 0 || i + 2 >= n || s[i] != u')' || s[i + 1] != u' ')
        return false;
    i += 2;
    const qsizetype sn = run(17);
    if (sn == 0 || cc + ndc + sn > 17)
        return false;
    if (i == n)
        return true;
    // A direct-dial suffix as the completion writes it: "-" and up to kMaxSuffixDigits digits,
    // after a number long enough to stand alone ("+1 (425) 555-1212" only groups its digits).
    if (s[i] != u'-' || ndc + sn < 7)
        return false;
    ++i;
    const qsizetype suffix = run(kMaxSuffixDigits);
    return suffix > 0 && i == n;
}

std::optional<NumberCompleter::Scan> NumberCompleter::scan(const QString& text) const {
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();

    // Digits of other scripts are not ours to interpret, so the value stays as it is.
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (isDigit(c)) {
            if (first < 0)
                first = i;
            last = i;
        } else if (c >= 0x80) {
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                if (QChar::isNumber(QChar::surrogateToUcs4(c, p[i + 1])))
                    return {};
                ++i;
            } else if (QChar::isNumber(static_cast<char32_t>(c))) {
                return {};
            }
        }
    }
    if (first < 0)
        return {};

    Scan s;
    s.start = first;
    for (int k = 0; k < 2 && s.start > 0 && (p[s.start - 1] == u'(' || p[s.start - 1] == u'+'); ++k)
        --s.start;

    qsizetype i = s.start;
    if (p[i] == u'+') {
        s.plus = true;
        ++i;
    }
    bool open = false;
    bool openedBefore = false;
    bool openHasDigit = false;
    bool openAtLastDigit = false;
    for (; i < n; ++i) {
        const char16_t c = p[i];
        if (isDigit(c)) {
            if (s.digits.size() == kMaxDigits)
                return {};
            if (s.groups.empty() || s.groups.back().textEnd != i)
                s.groups.push_back({s.digits.size(), i, i});
            s.digits.push_back(static_cast<char>(c));
            s.groups.back().textEnd = i + 1;
            openHasDigit = openHasDigit || open;
            openAtLastDigit = open;
            s.brackets = s.brackets || openedBefore;
            s.end = i + 1;
        } else if (c == u'(') {
            if (open)
                break;
            open = true;
            openedBefore = true;
            openHasDigit = false;
        } else if (c == u')') {
            if (!open || !openHasDigit)
                break;
            open = false;
        } else if (!isGrouping(c)) {
            break;
        }
    }
    // A bracket still open at the last digit holds part of the number and the words after it.
    if (openAtLastDigit)
        return {};

    s.extensionEnd = s.end;
    qsizetype j = s.end;
    while (j < n && (p[j] == u' ' || p[j] == u',' || p[j] == u'\u00A0'))
        ++j;
    if (const qsizetype marker = markerAt(p + j, n - j); marker > 0) {
        j += marker;
        for (int k = 0; k < 2 && j < n && (p[j] == u'.' || p[j] == u':'); ++k)
            ++j;
        while (j < n && p[j] == u' ')
            ++j;
        qsizetype digits = 0;
        while (j + digits < n && isDigit(p[j + digits]))
            ++digits;
        if (digits > 0 && digits <= kMaxExtensionDigits)
            s.extensionEnd = j + digits;
    }
    if (last >= s.extensionEnd)
        return {};
    return s;
}

// "12.03.2024", "3/4/24": a date, which an area code in front would turn into a valid number.
bool NumberCompleter::looksLikeDate(QStringView text, const Scan& scan) {
    if (scan.groups.size() != 3)
        return false;
    const auto& g = scan.groups;
    const auto length = [&](std::size_t k) {
        return g[k].textEnd - g[k].textStart;
    };
    const QStringView first = text.sliced(g[0].textEnd, g[1].textStart - g[0].textEnd);
    const QStringView second = text.sliced(g[1].textEnd, g[2].textStart - g[1].textEnd);
    return first.size() == 1 && first == second && (first[0] == u'.' || first[0] == u'/') &&
           length(0) <= 2 && length(1) <= 2 && (length(2) == 2 || length(2) == 4);
}

std::string NumberCompleter::trunkPrefixOf(int countryCode) const {
    if (countryCode == countryCode_)
        return trunk_;
    std::string region;
    std::string trunk;
    util_.GetRegionCodeForCountryCode(countryCode, &region);
    util_.GetNddPrefixForRegion(region, true, &trunk);
    return trunk;
}

// The number as libphonenumber keeps it, built from the digits we already have: parsing the
// text again would cost more than everything else together.
bool NumberCompleter::accept(int countryCode, std::string_view nsn, Reading& out) const {
    if (nsn.empty() || nsn.size() > kMaxNsnDigits)
        return false;
    std::uint64_t value = 0;
    for (const char c : nsn)
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    out.number.Clear();
    out.number.set_country_code(countryCode);
    out.number.set_national_number(value);
    if (nsn.size() > 1 && nsn.front() == '0') {
        out.number.set_italian_leading_zero(true);
        std::size_t zeros = 1;
        while (zeros < nsn.size() - 1 && nsn[zeros] == '0')
            ++zeros;
        if (zeros != 1)
            out.number.set_number_of_leading_zeros(static_cast<int>(zeros));
    }
    // The length check is cheap and spares the pattern matching of most wrong readings.
    if (util_.IsPossibleNumberWithReason(out.number) != PhoneNumberUtil::IS_POSSIBLE)
        return false;
    out.type = util_.GetNumberType(out.number);
    if (out.type == PhoneNumberUtil::UNKNOWN)
        return false;
    out.countryCode = std::to_string(countryCode);
    out.nsn.assign(nsn);
    return true;
}

// digits follow a "+" or an international prefix. Country codes are prefix-free, so the first
// known one is the one. A trunk prefix after it, "+49 (0)30", is dropped when needed.
bool NumberCompleter::readInternational(std::string_view digits, std::string_view head,
                                        Reading& out) const {
    int countryCode = 0;
    std::size_t length = 0;
    std::string region;
    int candidate = 0;
    for (std::size_t k = 1; k <= 3 && k < digits.size() && countryCode == 0; ++k) {
        candidate = candidate * 10 + (digits[k - 1] - '0');
        util_.GetRegionCodeForCountryCode(candidate, &region);
        if (candidate > 0 && region != "ZZ") {
            countryCode = candidate;
            length = k;
        }
    }
    if (countryCode == 0)
        return false;
    const std::string_view rest = digits.substr(length);
    std::size_t dropped = length;
    if (!accept(countryCode, rest, out)) {
        const std::string trunk = trunkPrefixOf(countryCode);
        if (trunk.empty() || !rest.starts_with(trunk) ||
            !accept(countryCode, rest.substr(trunk.size()), out))
            return false;
        dropped += trunk.size();
    }
    out.head = head;
    out.head.append(digits.substr(0, dropped));
    return true;
}

bool NumberCompleter::readNational(std::string_view digits, Reading& out) const {
    if (!trunk_.empty() && digits.starts_with(trunk_)) {
        if (!accept(countryCode_, digits.substr(trunk_.size()), out))
            return false;
        out.head = trunk_;
        return true;
    }
    return nationalWithoutTrunk_ && accept(countryCode_, digits, out);
}

bool NumberCompleter::readLocal(std::string_view digits, Reading& out) const {
    if (area_.empty() || digits.size() < kMinLocalDigits || digits.size() > kMaxLocalDigits ||
        digits.starts_with(trunk_) || digits.starts_with('0'))
        return false;
    std::string nsn = area_;
    nsn.append(digits);
    if (!accept(countryCode_, nsn, out))
        return false;
    out.added = area_;
    return true;
}

// The region's own international prefix where it is not "00" ("011" in the US, "0011" in
// Australia): only libphonenumber knows those, so here it parses.
bool NumberCompleter::readForeignPrefix(std::string_view digits, Reading& out) const {
    PhoneNumber parsed;
    if (util_.ParseAndKeepRawInput(std::string(digits), region_, &parsed) !=
            PhoneNumberUtil::NO_PARSING_ERROR ||
        parsed.country_code_source() != PhoneNumber::FROM_NUMBER_WITH_IDD || parsed.has_extension())
        return false;
    std::string nsn;
    util_.GetNationalSignificantNumber(parsed, &nsn);
    const std::string countryCode = std::to_string(parsed.country_code());
    if (!digits.ends_with(nsn) || digits.size() < nsn.size() + countryCode.size())
        return false;
    const std::string_view head = digits.substr(0, digits.size() - nsn.size());
    const std::string trunk = trunkPrefixOf(parsed.country_code());
    const bool ok = (head.ends_with(countryCode) && head.size() > countryCode.size()) ||
                    (!trunk.empty() && head.ends_with(countryCode + trunk) &&
                     head.size() > countryCode.size() + trunk.size());
    if (!ok || !accept(parsed.country_code(), nsn, out))
        return false;
    out.head = head;
    return true;
}

// All readings that keep every digit; more than one different number means the value is
// ambiguous and stays as it is.
std::optional<NumberCompleter::Reading> NumberCompleter::read(std::string_view digits, bool plus,
                                                              bool local) const {
    if (digits.empty())
        return {};
    std::optional<Reading> found;
    bool ambiguous = false;
    const auto consider = [&](Reading& reading) {
        if (!found)
            found = std::move(reading);
        else if (found->countryCode != reading.countryCode || found->nsn != reading.nsn)
            ambiguous = true;
    };
    if (plus) {
        Reading r;
        if (readInternational(digits, {}, r))
            consider(r);
        return found;
    }
    if (digits.starts_with("00")) {
        Reading r;
        if (readInternational(digits.substr(2), "00", r))
            consider(r);
    }
    if (!region_.empty()) {
        Reading national;
        if (readNational(digits, national))
            consider(national);
        Reading subscriber;
        if (local && readLocal(digits, subscriber))
            consider(subscriber);
        Reading foreign;
        if (!found &&
            (digits.starts_with('0') || (!trunk_.empty() && digits.starts_with(trunk_))) &&
            readForeignPrefix(digits, foreign))
            consider(foreign);
    }
    if (ambiguous)
        return {};
    return found;
}

// "030 1234567 0171 7654321": two numbers run together read as one long valid number where the
// grouping lets them. A split before a group that starts with a trunk or international prefix,
// where both parts are valid numbers on their own, is taken as two numbers.
bool NumberCompleter::twoNumbers(const Scan& scan, std::string_view digits, bool plus,
                                 bool local) const {
    for (std::size_t g = 1; g < scan.groups.size(); ++g) {
        const std::size_t at = scan.groups[g].offset;
        if (at >= digits.size())
            break;
        const char lead = digits[at];
        if (lead != '0' && (trunk_.empty() || lead != trunk_.front()))
            continue;
        if (read(digits.substr(0, at), plus, local) && read(digits.substr(at), false, false))
            return true;
    }
    return false;
}

// Length of the national destination code: the first group after the country code in
// libphonenumber's international format. Only where a trunk prefix is dialled before it (or,
// in Italy, the leading zero stands for one); elsewhere ("+65 61234567") there is none.
std::size_t NumberCompleter::destinationCodeLength(const Reading& reading) const {
    const int countryCode = reading.number.country_code();
    if (trunkPrefixOf(countryCode).empty() && !reading.number.italian_leading_zero())
        return 0;
    // Destination codes are prefix-free within a country: once the first n digits of a number of
    // this length were found to be its code, every such number has that code. Formatting costs
    // more than everything else of a completion, so it runs once per code, not once per number.
    const bool mobile = reading.type == PhoneNumberUtil::MOBILE;
    std::string key = std::to_string(countryCode) + (mobile ? 'm' : 'f') +
                      std::to_string(reading.nsn.size()) + ':';
    const std::size_t keyHead = key.size();
    for (std::size_t length = 1; length < reading.nsn.size() && length <= 8; ++length) {
        key.resize(keyHead);
        key.append(reading.nsn, 0, length);
        if (destinationCodes_.count(key) != 0)
            return length;
    }
    const std::size_t length = formattedDestinationCodeLength(reading);
    if (length > 0 && length <= 8) {
        if (destinationCodes_.size() > 100000)
            destinationCodes_.clear();
        key.resize(keyHead);
        key.append(reading.nsn, 0, length);
        destinationCodes_.emplace(std::move(key), length);
    }
    return length;
}

std::size_t NumberCompleter::formattedDestinationCodeLength(const Reading& reading) const {
    const int countryCode = reading.number.country_code();
    std::string token;
    util_.GetCountryMobileToken(countryCode, &token);
    if (reading.type == PhoneNumberUtil::MOBILE && !token.empty())
        return static_cast<std::size_t>(
            std::max(util_.GetLengthOfNationalDestinationCode(reading.number), 0));
    std::string formatted;
    util_.Format(reading.number, PhoneNumberUtil::INTERNATIONAL, &formatted);
    // "+49 30 1234567": skip the country code, take the next group of digits; with no third
    // group the number has no destination code.
    std::size_t groups = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < formatted.size();) {
        if (formatted[i] < '0' || formatted[i] > '9') {
            ++i;
            continue;
        }
        const std::size_t from = i;
        while (i < formatted.size() && formatted[i] >= '0' && formatted[i] <= '9')
            ++i;
        if (++groups == 2)
            length = i - from;
    }
    return groups >= 3 ? length : 0;
}

QString NumberCompleter::canonical(const Reading& reading) const {
    const std::string_view nsn(reading.nsn);
    const std::size_t split = destinationCodeLength(reading);

    QString out;
    out.reserve(static_cast<qsizetype>(nsn.size() + reading.countryCode.size()) + 6);
    out += u'+';
    out += latin1(reading.countryCode);
    if (split > 0 && split < nsn.size()) {
        out += u" ("_s;
        out += latin1(nsn.substr(0, split));
        out += u") "_s;
        out += latin1(nsn.substr(split));
    } else {
        out += u' ';
        out += latin1(nsn);
    }
    return out;
}

QString NumberCompleter::complete(const QString& number) const {
    if (looksCanonical(number))
        return number;
    const std::optional<Scan> found = scan(number);
    if (!found)
        return number;
    const Scan& s = *found;
    const std::string_view digits(s.digits);
    // A bracketed group is an area code, so the number is not a local one.
    const bool local = !s.plus && !s.brackets && !looksLikeDate(number, s);

    // "030 1234567-89": a hyphenated last group is a direct-dial suffix when what stands before
    // it is a valid number by itself; otherwise the hyphen only groups ("030-1234567").
    std::optional<Reading> reading;
    qsizetype numberEnd = s.end;
    const std::size_t groups = s.groups.size();
    if (groups >= 2) {
        const Scan::Group& tail = s.groups[groups - 1];
        const Scan::Group& before = s.groups[groups - 2];
        const QStringView between =
            QStringView(number).sliced(before.textEnd, tail.textStart - before.textEnd).trimmed();
        if (between == QStringView(u"-") && tail.textEnd - tail.textStart <= kMaxSuffixDigits) {
            reading = read(digits.substr(0, tail.offset), s.plus, local);
            // "425-555-1212" in Germany is no local number with a suffix.
            if (reading && !reading->added.empty() &&
                QStringView(number).sliced(s.start, before.textEnd - s.start).contains(u'-'))
                reading.reset();
            if (reading) {
                if (twoNumbers(s, digits.substr(0, tail.offset), s.plus, local))
                    return number;
                numberEnd = before.textEnd;
            }
        }
    }
    if (!reading) {
        reading = read(digits, s.plus, local);
        if (!reading || twoNumbers(s, digits, s.plus, local))
            return number;
    }

    QString result = canonical(*reading);
    result += QStringView(number).sliced(numberEnd, s.extensionEnd - numberEnd);
    const QStringView consumed = QStringView(number).sliced(s.start, s.extensionEnd - s.start);
    if (!keepsEveryDigit(consumed, result, reading->head, reading->countryCode + reading->added))
        return number;
    return result;
}
