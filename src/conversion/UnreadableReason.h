#pragma once

#include <QString>

// Why a value with digits came back unchanged although it is not in canonical form. None also
// for values that were completed, or needed nothing (canonical already, a short number).
enum class UnreadableReason {
    None,
    NoValidNumber,    // its digits make no valid number for the location
    TwoNumbers,       // more than one number, or digits after a number complete in itself
    DigitsAmongWords, // digits in the words around the number, or digits of another script
    TooLong,          // more digits than a number has, or too long to put words around
    InvalidBytes,     // a lone surrogate or U+FFFD: stored bytes that were no valid text
    NotTelephoneWords // a local number between words that are not telephone words
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
    }
    return "none";
}

// A formatted value and, when it came back unchanged, why.
struct FormattedValue {
    QString text;
    UnreadableReason reason = UnreadableReason::None;
};
