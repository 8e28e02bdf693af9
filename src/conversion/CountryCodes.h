#pragma once

#include <array>
#include <string>
#include <string_view>

// The country calling codes libphonenumber knows and the trunk prefix of each one's main
// region, read once: the checks that run on every value ask here instead of libphonenumber.
class CountryCodes {
public:
    static const CountryCodes& instance();

    // Length (1 to 3) of the known country code digits begin with, or 0. Country codes are
    // prefix-free, so the first known one is the one; digits must go on behind it.
    std::size_t lengthAt(std::string_view digits) const;
    // The trunk prefix dialled in front of national numbers of countryCode ("0", "1", "8"), or
    // empty where none is dialled or the code is unknown.
    const std::string& trunkPrefix(int countryCode) const;

private:
    CountryCodes();

    std::array<bool, 1000> known_{};
    std::array<std::string, 1000> trunk_;
};
