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
    case UnreadableReason::DateOrTime:
        return Unreadable::DateOrTime;
    case UnreadableReason::DecimalNumber:
        return Unreadable::DecimalNumber;
    case UnreadableReason::GroupedThousands:
        return Unreadable::GroupedThousands;
    case UnreadableReason::IpAddress:
        return Unreadable::IpAddress;
    case UnreadableReason::InAddress:
        return Unreadable::InAddress;
    case UnreadableReason::UnknownCountry:
        return Unreadable::UnknownCountry;
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
    case Unreadable::DateOrTime:
        return LoadResourceString(IDS_UNREADABLE_DATE_OR_TIME);
    case Unreadable::DecimalNumber:
        return LoadResourceString(IDS_UNREADABLE_DECIMAL_NUMBER);
    case Unreadable::GroupedThousands:
        return LoadResourceString(IDS_UNREADABLE_GROUPED_THOUSANDS);
    case Unreadable::IpAddress:
        return LoadResourceString(IDS_UNREADABLE_IP_ADDRESS);
    case Unreadable::InAddress:
        return LoadResourceString(IDS_UNREADABLE_IN_ADDRESS);
    case Unreadable::UnknownCountry:
        return LoadResourceString(IDS_UNREADABLE_UNKNOWN_COUNTRY);
    case Unreadable::RefusedByCondition:
        return LoadResourceString(IDS_LEFT_REFUSED_BY_CONDITION);
    case Unreadable::LayoutOnly:
        return LoadResourceString(IDS_LEFT_LAYOUT_ONLY);
    case Unreadable::Converted:
        return LoadResourceString(IDS_RESULTS_CONVERTED);
    case Unreadable::UndoConflict:
        return LoadResourceString(IDS_RESULTS_CONFLICT);
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
    case Unreadable::DateOrTime:
        return u"date-or-time"_s;
    case Unreadable::DecimalNumber:
        return u"decimal-number"_s;
    case Unreadable::GroupedThousands:
        return u"grouped-thousands"_s;
    case Unreadable::IpAddress:
        return u"ip-address"_s;
    case Unreadable::InAddress:
        return u"mail-or-web-address"_s;
    case Unreadable::UnknownCountry:
        return u"unknown-country"_s;
    case Unreadable::RefusedByCondition:
        return u"refused-by-condition"_s;
    case Unreadable::LayoutOnly:
        return u"layout-only"_s;
    case Unreadable::Converted:
        return u"converted"_s;
    case Unreadable::UndoConflict:
        return u"undo-conflict"_s;
    }
    return {};
}
