#include "NumberCompleter.h"
#include "NumberReading.h"

#include "CountryCodes.h"
#include "NumberScan.h"
#include "NumberShapes.h"
#include "NumberText.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>
#include <phonenumbers/shortnumberinfo.h>

#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <optional>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;
using i18n::phonenumbers::ShortNumberInfo;
using namespace numberreading;
using numbertext::isDigit;
using namespace Qt::StringLiterals;

namespace {

// More than any international prefix, country code and national number together: a longer run
// cannot be one number, and libphonenumber never sees it.
constexpr std::size_t kMaxDigits = 20;
// The longest number E.164 allows, country code included.
constexpr std::size_t kMaxSignificantDigits = 15;
// A hyphenated tail longer than this is grouping, not a direct-dial suffix.
constexpr qsizetype kMaxSuffixDigits = 6;

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
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

// Its regular expressions are cached behind a lock, so one instance serves every thread.
const ShortNumberInfo& shortNumbers() {
    static const ShortNumberInfo info;
    return info;
}

} // namespace

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
    const qsizetype n = number.size();
    if (n < 8 || n > 40 || number[0] != u'+')
        return false;
    // The completion's reading of the "+": blanks, at most one bracket, then a digit.
    qsizetype i = 1;
    while (i < n && number[i] == u' ')
        ++i;
    bool open = i < n && number[i] == u'(';
    if (open)
        ++i;
    if (i == n || !isDigit(number[i].unicode()))
        return false;
    char digits[17];
    std::size_t count = 0;
    std::size_t openedAt = 0;
    for (; i < n; ++i) {
        const char16_t c = number[i].unicode();
        if (isDigit(c)) {
            if (count == sizeof digits)
                return false;
            digits[count++] = static_cast<char>(c);
        } else if (c == u'(') {
            if (open)
                return false;
            open = true;
            openedAt = count;
        } else if (c == u')') {
            // A bracket the completion would not read as grouping ends the number there.
            if (!open || openedAt == count)
                return false;
            open = false;
        } else if (c != u' ') {
            return false;
        }
    }
    if (count < 7 || open)
        return false;
    const std::string_view all(digits, count);
    const CountryCodes& codes = CountryCodes::instance();
    const std::size_t length = codes.lengthAt(all);
    if (length == 0)
        return false;
    const std::string_view national = all.substr(length);
    const std::string& trunk = codes.trunkPrefix(countryCodeOf(all.substr(0, length)));
    return national[0] != '0' && (trunk.empty() || !national.starts_with(trunk));
}

QString NumberCompleter::systemRegion() {
    const QString code = QLocale::territoryToCode(QLocale::system().territory());
    if (code.size() != 2 ||
        PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(code.toStdString()) == 0)
        return {};
    return code;
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

// "Tel 030 1234567 / 89": a group after a slash that follows a number complete in itself
// would make it another number. A slash after an area code only groups ("030/1234567").
bool NumberCompleter::numberBeforeSlash(const NumberScan& scan, QStringView text,
                                        bool local) const {
    for (std::size_t g = 1; g < scan.groups.size(); ++g)
        if (scan.between(text, g).contains(u'/') &&
            read(std::string_view(scan.digits).substr(0, scan.groups[g].offset), scan.plus, local))
            return true;
    return false;
}

// Emergency, directory and service numbers ("110", "11880", "116117") are dialled without an
// area code everywhere in the country.
bool NumberCompleter::isShortNumber(std::string_view digits) const {
    if (region_.empty() || digits.empty() || digits.size() > kMaxLocalDigits)
        return false;
    PhoneNumber number;
    buildNumber(countryCode_, digits, number);
    return shortNumbers().IsValidShortNumberForRegion(number, region_);
}

UnreadableReason NumberCompleter::whyNotRead(std::string_view digits, bool plus) const {
    std::size_t significant = digits.size();
    if (!plus && digits.starts_with("00"))
        significant -= 2;
    else if (!plus && !trunk_.empty() && digits.starts_with(trunk_))
        significant -= trunk_.size();
    return significant > kMaxSignificantDigits ? UnreadableReason::TooLong
                                               : UnreadableReason::NoValidNumber;
}

// Digits in the words behind the number: a second number when both read as numbers.
UnreadableReason NumberCompleter::whyDigitsAfter(const NumberScan& scan, QStringView text,
                                                 bool local) const {
    if (!read(scan.digits, scan.plus, local))
        return UnreadableReason::DigitsAmongWords;
    const qsizetype from = scan.digitsAfter;
    const bool plus = from > 0 && text[from - 1] == u'+';
    std::string digits;
    for (qsizetype i = from; i < text.size() && digits.size() <= 20; ++i) {
        const char16_t c = text[i].unicode();
        if (isDigit(c))
            digits.push_back(static_cast<char>(c));
        else if (!numbertext::isGrouping(c))
            break;
    }
    return read(digits, plus, false) ? UnreadableReason::TwoNumbers
                                     : UnreadableReason::DigitsAmongWords;
}

FormattedValue NumberCompleter::completeWithReason(const QString& number) const {
    const auto unchanged = [&](UnreadableReason why) {
        return FormattedValue{number, why};
    };
    UnreadableReason why = UnreadableReason::None;
    const std::optional<NumberScan> found = NumberScan::of(number, why);
    if (!found)
        return unchanged(why);
    const NumberScan& s = *found;
    if (const UnreadableReason shape = notATelephoneNumber(number, s.end);
        shape != UnreadableReason::None)
        return unchanged(shape);
    const std::string_view digits(s.digits);
    // A bracketed group is an area code, so the number is not a local one.
    const bool local = !s.plus && !s.brackets && !s.looksLikeDate(number);
    if (s.digitsAfter >= 0)
        return unchanged(whyDigitsAfter(s, number, local));
    if (digits.size() > kMaxDigits)
        return unchanged(twoNumbers(s, digits, s.plus, local) ? UnreadableReason::TwoNumbers
                                                              : UnreadableReason::TooLong);
    if (local && isShortNumber(digits))
        return unchanged(UnreadableReason::None);
    if (numberBeforeSlash(s, number, local))
        return unchanged(UnreadableReason::TwoNumbers);

    // "030 1234567-89": a hyphenated last group is a direct-dial suffix when what stands before
    // it is a valid number by itself; otherwise the hyphen only groups ("030-1234567").
    std::optional<Reading> reading;
    qsizetype numberEnd = s.end;
    const std::size_t groups = s.groups.size();
    if (groups >= 2) {
        const NumberScan::Group& tail = s.groups[groups - 1];
        const NumberScan::Group& before = s.groups[groups - 2];
        const QStringView between = s.between(number, groups - 1).trimmed();
        if (between.size() == 1 && numbertext::isDash(between[0].unicode()) &&
            tail.textEnd - tail.textStart <= kMaxSuffixDigits) {
            reading = read(digits.substr(0, tail.offset), s.plus, local);
            // "425-555-1212" in Germany is no local number with a suffix.
            if (reading && !reading->added.empty()) {
                const QStringView head =
                    QStringView(number).sliced(s.start, before.textEnd - s.start);
                if (std::any_of(head.begin(), head.end(),
                                [](QChar c) { return numbertext::isDash(c.unicode()); }))
                    reading.reset();
            }
            if (reading) {
                if (twoNumbers(s, digits.substr(0, tail.offset), s.plus, local))
                    return unchanged(UnreadableReason::TwoNumbers);
                numberEnd = before.textEnd;
            }
        }
    }
    if (!reading) {
        reading = read(digits, s.plus, local);
        const bool two = twoNumbers(s, digits, s.plus, local);
        if (!reading || two)
            return unchanged(two ? UnreadableReason::TwoNumbers : whyNotRead(digits, s.plus));
    }
    // "PLZ 10115 Berlin": without trunk prefix or country code only telephone words make it a
    // telephone number.
    if (!reading->added.empty() &&
        !(numbertext::onlyTelephoneWords(QStringView(number).first(s.start)) &&
          numbertext::onlyTelephoneWords(QStringView(number).sliced(s.extensionEnd))))
        return unchanged(UnreadableReason::NotTelephoneWords);

    QString result = canonical(*reading);
    result += QStringView(number).sliced(numberEnd, s.extensionEnd - numberEnd);
    const QStringView consumed = QStringView(number).sliced(s.start, s.extensionEnd - s.start);
    if (!keepsEveryDigit(consumed, result, reading->head, reading->countryCode + reading->added))
        return unchanged(UnreadableReason::NoValidNumber);
    return {result, UnreadableReason::None};
}
