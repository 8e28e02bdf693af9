#pragma once

#include "UnreadableReason.h"

#include <QStringView>

// Values with digits that are no telephone number however their digits would read: a date or a
// time, a decimal number or an amount, grouped thousands, an IP address, or digits inside an
// e-mail or web address. Read with an area code in front, most of them would pass for a local
// number ("2009-01-22", "192.168.1.1"), so the shape of the text decides, not its digits.
// None when the value may hold a telephone number; a "+" before the digits always marks one.
// numberEnd is where the digits and grouping from the first digit on end.
UnreadableReason notATelephoneNumber(QStringView value, qsizetype numberEnd);
