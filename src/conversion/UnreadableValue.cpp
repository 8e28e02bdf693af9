#include "UnreadableValue.h"

#include "NumberCompleter.h"
#include "StringTable.h"

using namespace Qt::StringLiterals;

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Longer than any number with its extension: a value like this is a text that holds digits.
constexpr int kMaxDigits = 20;

} // namespace

std::optional<Unreadable> whyUnchanged(const QString& value) {
    const qsizetype first = std::find_if(value.cbegin(), value.cend(), isDigit) - value.cbegin();
    if (first == value.size())
        return std::nullopt;
    qsizetype last = value.size() - 1;
    while (!isDigit(value[last]))
        --last;
    qsizetype start = first;
    while (start > 0 && (value[start - 1] == u'+' || value[start - 1] == u'('))
        --start;
    const QStringView number = QStringView(value).sliced(start, last + 1 - start);
    if (NumberCompleter::looksCanonical(number))
        return std::nullopt;
    const QString between = number.toString().toLower();
    static const QStringList separators{u","_s,      u";"_s,    u"&"_s,     u"|"_s,    u" / "_s,
                                        u" oder "_s, u" or "_s, u" und "_s, u" and "_s};
    for (const QString& separator : separators) {
        if (between.contains(separator))
            return Unreadable::TwoNumbers;
    }
    if (std::any_of(number.cbegin(), number.cend(), [](QChar c) { return c.isLetter(); }))
        return Unreadable::DigitsAmongWords;
    if (value.size() > 32767 || std::count_if(number.cbegin(), number.cend(), isDigit) > kMaxDigits)
        return Unreadable::TooLong;
    return Unreadable::NoValidNumber;
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
