#pragma once

#include <QString>

// Why a value with digits came back unchanged although it is not in canonical form. None also
// for values that were completed, or needed nothing (canonical already, a short number).
enum class UnreadableReason {
    None,
    NoValidNumber,     // its digits make no valid number for the location
    TwoNumbers,        // more than one number, or digits after a number complete in itself
    DigitsAmongWords,  // digits in the words around the number, or digits of another script
    TooLong,           // more digits than a number has, or too long to put words around
    InvalidBytes,      // a lone surrogate or U+FFFD: stored bytes that were no valid text
    NotTelephoneWords, // a local number between words that are not telephone words
    DateOrTime,        // a date or a time: "2009-01-22", "22.01.2009", "10:15:30"
    DecimalNumber,     // a decimal number or an amount: "12959.9", "1.234,56", "500 EUR"
    GroupedThousands,  // a number grouped in thousands: "1.000.000", "1,000,000"
    IpAddress,         // "192.168.1.1", "2001:db8::1"
    InAddress,         // digits inside an e-mail or web address
    UnknownCountry     // the record's country field names no country
};

// A stable English key for reports and files, one per reason ("none" for None).
inline const char* unreadableReasonKey(UnreadableReason reason) {
    switch (reason) {
    case UnreadableReason::None:
        return "none";
    case UnreadableReason::NoValidNumber:
        return "no valid number";
    case UnreadableReason::TwoNumbers:
        return "two numbers";
    case UnreadableReason::DigitsAmongWords:
        return "digits among the words";
    case UnreadableReason::TooLong:
        return "too long";
    case UnreadableReason::InvalidBytes:
        return "invalid bytes";
    case UnreadableReason::NotTelephoneWords:
        return "no telephone words";
    case UnreadableReason::DateOrTime:
        return "date or time";
    case UnreadableReason::DecimalNumber:
        return "decimal number";
    case UnreadableReason::GroupedThousands:
        return "grouped thousands";
    case UnreadableReason::IpAddress:
        return "ip address";
    case UnreadableReason::InAddress:
        return "in an address";
    case UnreadableReason::UnknownCountry:
        return "unknown country";
    }
    return "none";
}

// A formatted value and, when it came back unchanged, why.
struct FormattedValue {
    QString text;
    UnreadableReason reason = UnreadableReason::None;
};
