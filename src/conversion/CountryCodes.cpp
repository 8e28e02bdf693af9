#include "CountryCodes.h"

#include <phonenumbers/phonenumberutil.h>

using i18n::phonenumbers::PhoneNumberUtil;

const CountryCodes& CountryCodes::instance() {
    static const CountryCodes codes;
    return codes;
}

CountryCodes::CountryCodes() {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    for (int code = 1; code < 1000; ++code) {
        std::string region;
        util.GetRegionCodeForCountryCode(code, &region);
        if (region == "ZZ")
            continue;
        const auto at = static_cast<std::size_t>(code);
        known_[at] = true;
        // Non-geographic codes ("001") have no trunk prefix.
        if (region != "001")
            util.GetNddPrefixForRegion(region, true, &trunk_[at]);
    }
}

std::size_t CountryCodes::lengthAt(std::string_view digits) const {
    // No country code begins with 0.
    if (digits.empty() || digits[0] == '0')
        return 0;
    std::size_t code = 0;
    for (std::size_t length = 1; length <= 3 && length < digits.size(); ++length) {
        const char c = digits[length - 1];
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + static_cast<std::size_t>(c - '0');
        if (known_[code])
            return length;
    }
    return 0;
}

const std::string& CountryCodes::trunkPrefix(int countryCode) const {
    static const std::string none;
    if (countryCode <= 0 || countryCode >= 1000)
        return none;
    return trunk_[static_cast<std::size_t>(countryCode)];
}
