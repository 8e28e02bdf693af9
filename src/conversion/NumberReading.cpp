#include "NumberReading.h"

#include "CountryCodes.h"
#include "NumberScan.h"

#include <cstdint>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace numberreading {

void buildNumber(int countryCode, std::string_view nsn, PhoneNumber& number) {
    std::uint64_t value = 0;
    for (const char c : nsn)
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    number.Clear();
    number.set_country_code(countryCode);
    number.set_national_number(value);
    if (nsn.size() > 1 && nsn.front() == '0') {
        number.set_italian_leading_zero(true);
        std::size_t zeros = 1;
        while (zeros < nsn.size() - 1 && nsn[zeros] == '0')
            ++zeros;
        if (zeros != 1)
            number.set_number_of_leading_zeros(static_cast<int>(zeros));
    }
}

int countryCodeOf(std::string_view digits) {
    int code = 0;
    for (const char c : digits)
        code = code * 10 + (c - '0');
    return code;
}

} // namespace numberreading

using namespace numberreading;

const std::string& NumberCompleter::trunkPrefixOf(int countryCode) const {
    return countryCode == countryCode_ ? trunk_ : CountryCodes::instance().trunkPrefix(countryCode);
}

bool NumberCompleter::accept(int countryCode, std::string_view nsn, Reading& out) const {
    if (nsn.empty() || nsn.size() > kMaxNsnDigits)
        return false;
    buildNumber(countryCode, nsn, out.number);
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
    const std::size_t length = CountryCodes::instance().lengthAt(digits);
    if (length == 0)
        return false;
    const int countryCode = countryCodeOf(digits.substr(0, length));
    const std::string_view rest = digits.substr(length);
    std::size_t dropped = length;
    if (!accept(countryCode, rest, out)) {
        const std::string& trunk = trunkPrefixOf(countryCode);
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
    const std::string& trunk = trunkPrefixOf(parsed.country_code());
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
bool NumberCompleter::twoNumbers(const NumberScan& scan, std::string_view digits, bool plus,
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
