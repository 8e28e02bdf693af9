#pragma once

// The completer's reading of a run of digits, shared by its two source files.

#include "NumberCompleter.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

struct NumberCompleter::Reading {
    i18n::phonenumbers::PhoneNumber number;
    i18n::phonenumbers::PhoneNumberUtil::PhoneNumberType type =
        i18n::phonenumbers::PhoneNumberUtil::UNKNOWN;
    std::string countryCode;
    std::string nsn;
    std::string head;  // input digits dropped: international prefix, country code, trunk prefix
    std::string added; // digits put in front of the input: the location's area code
};

namespace numberreading {

constexpr std::size_t kMaxNsnDigits = 17;
// Shorter values are internal extensions or not numbers at all ("Kunde seit 1998"); longer ones
// are national numbers from elsewhere. libphonenumber accepts both once an area code is put in
// front, so the length is the only guard.
constexpr std::size_t kMinLocalDigits = 5;
constexpr std::size_t kMaxLocalDigits = 8;

// Builds the number as libphonenumber keeps it from the digits we already have: parsing the
// text again would cost more than everything else together.
void buildNumber(int countryCode, std::string_view nsn, i18n::phonenumbers::PhoneNumber& number);
int countryCodeOf(std::string_view digits);

} // namespace numberreading
