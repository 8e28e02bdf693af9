#include "UnreadableValue.h"

#include "StringTable.h"

using namespace Qt::StringLiterals;

std::optional<Unreadable> unreadable(UnreadableReason reason) {
    switch (reason) {
    case UnreadableReason::None:
        return std::nullopt;
    case UnreadableReason::NoValidNumber:
        return Unreadable::NoValidNumber;
    case UnreadableReason::TwoNumbers:
        return Unreadable::TwoNumbers;
    // A local number among other words is as much a case for a person as digits among words.
    case UnreadableReason::DigitsAmongWords:
    case UnreadableReason::NotTelephoneWords:
        return Unreadable::DigitsAmongWords;
    case UnreadableReason::TooLong:
        return Unreadable::TooLong;
    case UnreadableReason::InvalidBytes:
        return Unreadable::InvalidBytes;
    }
    return std::nullopt;
}

QString unreadableName(Unreadable reason) {
    switch (reason) {
    case Unreadable::NoValidNumber:
        return LoadResourceString(IDS_UNREADABLE_NO_NUMBER);
    case Unreadable::TwoNumbers:
        return LoadResourceString(IDS_UNREADABLE_TWO_NUMBERS);
    case Unreadable::DigitsAmongWords:
        return LoadResourceString(IDS_UNREADABLE_AMONG_WORDS);
    case Unreadable::TooLong:
        return LoadResourceString(IDS_UNREADABLE_TOO_LONG);
    case Unreadable::InvalidBytes:
        return LoadResourceString(IDS_UNREADABLE_INVALID_BYTES);
    }
    return {};
}

QString unreadableKey(Unreadable reason) {
    switch (reason) {
    case Unreadable::NoValidNumber:
        return u"no-valid-number"_s;
    case Unreadable::TwoNumbers:
        return u"two-numbers"_s;
    case Unreadable::DigitsAmongWords:
        return u"digits-among-words"_s;
    case Unreadable::TooLong:
        return u"too-long"_s;
    case Unreadable::InvalidBytes:
        return u"invalid-bytes"_s;
    }
    return {};
}
