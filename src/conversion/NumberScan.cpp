#include "NumberScan.h"

#include "NumberText.h"

#include <string_view>

using numbertext::isBlank;
using numbertext::isDigit;
using numbertext::isGrouping;

namespace {

// More than two numbers hold: a longer run is not read at all.
constexpr std::size_t kMaxDigits = 40;
constexpr qsizetype kMaxExtensionDigits = 6;

// Longer markers first, so that "extension" is not taken for "ext" followed by a letter.
constexpr std::u16string_view kExtensionMarkers[] = {
    u"extension", u"extn", u"ext",         u"durchwahl", u"dw",
    u"apparat",   u"app",  u"nebenstelle", u"nst",       u"x",
};

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Length of an extension marker word at p (case-insensitive), or 0.
qsizetype markerAt(const char16_t* p, qsizetype n) {
    for (const std::u16string_view marker : kExtensionMarkers) {
        const auto length = static_cast<qsizetype>(marker.size());
        if (length > n)
            continue;
        qsizetype k = 0;
        while (k < length && asciiLower(p[k]) == marker[static_cast<std::size_t>(k)])
            ++k;
        if (k == length && (k == n || !isAsciiLetter(p[k])))
            return length;
    }
    return 0;
}

} // namespace

std::optional<NumberScan> NumberScan::of(const QString& text, UnreadableReason& why) {
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();

    // Digits of other scripts are not ours to interpret. A lone surrogate or a replacement
    // character stands for stored bytes that were no text: written back, they would change.
    qsizetype first = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (isDigit(c)) {
            if (first < 0)
                first = i;
        } else if (c >= 0x80) {
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                if (QChar::isNumber(QChar::surrogateToUcs4(c, p[i + 1]))) {
                    why = UnreadableReason::DigitsAmongWords;
                    return {};
                }
                ++i;
            } else if (QChar::isSurrogate(c) || c == u'\uFFFD') {
                why = UnreadableReason::InvalidBytes;
                return {};
            } else if (QChar::isNumber(static_cast<char32_t>(c))) {
                why = UnreadableReason::DigitsAmongWords;
                return {};
            }
        }
    }
    why = UnreadableReason::NoValidNumber;
    if (first < 0)
        return {};

    NumberScan s;
    s.start = first;
    for (int k = 0; k < 2 && s.start > 0 && (p[s.start - 1] == u'(' || p[s.start - 1] == u'+'); ++k)
        --s.start;
    // "+ 49 30 ..." is written internationally too: read as local, the "+" would be lost.
    if (p[s.start] != u'+') {
        qsizetype blank = s.start;
        while (blank > 0 && p[blank - 1] == u' ')
            --blank;
        if (blank < s.start && blank > 0 && p[blank - 1] == u'+')
            s.start = blank - 1;
    }

    qsizetype i = s.start;
    if (p[i] == u'+') {
        s.plus = true;
        ++i;
    }
    bool open = false;
    bool openedBefore = false;
    bool openHasDigit = false;
    bool openAtLastDigit = false;
    for (; i < n; ++i) {
        const char16_t c = p[i];
        if (isDigit(c)) {
            if (s.digits.size() == kMaxDigits) {
                why = UnreadableReason::TooLong;
                return {};
            }
            if (s.groups.empty() || s.groups.back().textEnd != i)
                s.groups.push_back({s.digits.size(), i, i});
            s.digits.push_back(static_cast<char>(c));
            s.groups.back().textEnd = i + 1;
            openHasDigit = openHasDigit || open;
            openAtLastDigit = open;
            s.brackets = s.brackets || openedBefore;
            s.end = i + 1;
        } else if (c == u'(') {
            if (open)
                break;
            open = true;
            openedBefore = true;
            openHasDigit = false;
        } else if (c == u')') {
            if (!open || !openHasDigit)
                break;
            open = false;
        } else if (!isGrouping(c)) {
            break;
        }
    }
    // A bracket still open at the last digit holds part of the number and the words after it.
    if (openAtLastDigit) {
        why = i < n ? UnreadableReason::DigitsAmongWords : UnreadableReason::NoValidNumber;
        return {};
    }

    s.extensionEnd = s.end;
    qsizetype j = s.end;
    while (j < n && (isBlank(p[j]) || p[j] == u','))
        ++j;
    if (const qsizetype marker = markerAt(p + j, n - j); marker > 0) {
        j += marker;
        for (int k = 0; k < 2 && j < n && (p[j] == u'.' || p[j] == u':'); ++k)
            ++j;
        while (j < n && isBlank(p[j]))
            ++j;
        qsizetype digits = 0;
        while (j + digits < n && isDigit(p[j + digits]))
            ++digits;
        if (digits > 0 && digits <= kMaxExtensionDigits)
            s.extensionEnd = j + digits;
    }
    for (qsizetype k = s.extensionEnd; k < n && s.digitsAfter < 0; ++k)
        if (isDigit(p[k]))
            s.digitsAfter = k;
    why = UnreadableReason::None;
    return s;
}

QStringView NumberScan::between(QStringView text, std::size_t g) const {
    return text.sliced(groups[g - 1].textEnd, groups[g].textStart - groups[g - 1].textEnd);
}

bool NumberScan::looksLikeDate(QStringView text) const {
    if (groups.size() != 3)
        return false;
    const auto length = [&](std::size_t k) {
        return groups[k].textEnd - groups[k].textStart;
    };
    const QStringView first = between(text, 1);
    const QStringView second = between(text, 2);
    return first.size() == 1 && first == second && (first[0] == u'.' || first[0] == u'/') &&
           length(0) <= 2 && length(1) <= 2 && (length(2) == 2 || length(2) == 4);
}
