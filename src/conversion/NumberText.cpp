#include "NumberText.h"

#include <QChar>

#include <string_view>

namespace numbertext {

namespace {

// The one list of words that mark a telephone number, German and English, compared without
// case. "Tel./Fax", "Tel.-Nr." split at their punctuation.
constexpr std::u16string_view kTelephoneWords[] = {
    u"tel",          u"telefon",       u"telephon", u"telefonnummer", u"rufnummer", u"fon",
    u"fax",          u"telefax",       u"mobil",    u"mobiltelefon",  u"mob",       u"handy",
    u"festnetz",     u"zentrale",      u"büro",     u"buero",         u"privat",    u"priv",
    u"geschäftlich", u"geschaeftlich", u"gesch",    u"dienstlich",    u"dienstl",   u"phone",
    u"telephone",    u"mobile",        u"cell",     u"office",        u"home",      u"work",
};

// Words that say "number": telephone words only beside one ("Tel.-Nr.", not "Nr. 12345").
constexpr std::u16string_view kNumberWords[] = {u"nr", u"nummer", u"no", u"number"};

bool equalsWord(QStringView word, std::u16string_view listed) {
    return QStringView(listed.data(), static_cast<qsizetype>(listed.size()))
               .compare(word, Qt::CaseInsensitive) == 0;
}

template <std::size_t N>
bool listed(QStringView word, const std::u16string_view (&words)[N]) {
    for (const std::u16string_view w : words)
        if (equalsWord(word, w))
            return true;
    return false;
}

// Punctuation and signs that may stand between telephone words.
bool isTelephonePunctuation(char32_t c) {
    switch (c) {
    case U'\t':
    case U'.':
    case U':':
    case U',':
    case U';':
    case U'+':
    case U'\u260E':     // black telephone
    case U'\u260F':     // white telephone
    case U'\u2706':     // telephone location sign
    case U'\U0001F4DE': // telephone receiver
    case U'\U0001F4F1': // mobile phone
    case U'\U0001F4E0': // fax machine
        return true;
    default:
        return c < 0x10000 && isGrouping(static_cast<char16_t>(c));
    }
}

} // namespace

bool hasWords(QStringView text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!isDigit(u) && u != u'+' && !isGrouping(u))
            return true;
    }
    return false;
}

bool onlyTelephoneWords(QStringView text) {
    const qsizetype n = text.size();
    const auto codePointAt = [&](qsizetype i) -> char32_t {
        if (QChar::isHighSurrogate(text[i].unicode()) && i + 1 < n &&
            QChar::isLowSurrogate(text[i + 1].unicode()))
            return QChar::surrogateToUcs4(text[i], text[i + 1]);
        return text[i].unicode();
    };
    const auto width = [](char32_t c) -> qsizetype {
        return QChar::requiresSurrogates(c) ? 2 : 1;
    };
    bool telephoneWord = false;
    bool numberWord = false;
    qsizetype i = 0;
    while (i < n) {
        const char32_t c = codePointAt(i);
        if (!QChar::isLetter(c)) {
            if (!isTelephonePunctuation(c))
                return false;
            i += width(c);
            continue;
        }
        qsizetype end = i;
        while (end < n) {
            const char32_t d = codePointAt(end);
            if (!QChar::isLetter(d))
                break;
            end += width(d);
        }
        const QStringView word = text.sliced(i, end - i);
        if (listed(word, kTelephoneWords))
            telephoneWord = true;
        else if (listed(word, kNumberWords))
            numberWord = true;
        else
            return false;
        i = end;
    }
    return telephoneWord || !numberWord;
}

} // namespace numbertext
