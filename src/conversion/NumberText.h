#pragma once

#include <QStringView>

// How the characters of a stored value are read around and inside a telephone number.
namespace numbertext {

inline bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Blanks a number may be grouped with: the blank, the no-break space and the narrow, thin and
// figure spaces word processors put in.
inline bool isBlank(char16_t c) {
    return c == u' ' ||
           (c >= 0xA0 && (c == u'\u00A0' || c == u'\u202F' || c == u'\u2009' || c == u'\u2007'));
}

// "-" and the dashes, minus sign and non-breaking hyphen pasted in its place.
inline bool isDash(char16_t c) {
    return c == u'-' || (c >= 0x2010 && (c == u'\u2010' || c == u'\u2011' || c == u'\u2013' ||
                                         c == u'\u2014' || c == u'\u2212'));
}

// Characters people group a number with: blanks, dashes, "/", ".", "(" and ")". Tabs, commas
// and the like end the number.
inline bool isGrouping(char16_t c) {
    return isBlank(c) || isDash(c) || c == u'/' || c == u'.' || c == u'(' || c == u')';
}

// True when text holds anything besides digits, blanks and number punctuation (grouping and
// "+"): words, symbols, tabs. Such text stays around the completed number.
bool hasWords(QStringView text);

// True when every word of text is a telephone word ("Tel.", "Fax:", "(privat)") and the rest
// is punctuation, blanks and telephone signs; true for empty text. Only then is a number
// without trunk prefix or country code among it read as a local number.
bool onlyTelephoneWords(QStringView text);

} // namespace numbertext
