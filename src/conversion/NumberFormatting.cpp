#include "NumberFormatting.h"

#include "NumberCompleter.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The length limit of the 16-bit string positions the rewrapping was built on.
constexpr qsizetype kMaxWrapLength = 32767;

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// As if the value were lower-cased and searched for 'a'..'z': characters whose lower case is an
// ASCII letter (the Kelvin sign) count, accented letters do not.
bool hasLetter(const QString& text) {
    for (const QChar c : text) {
        const char32_t lower = QChar::toLower(static_cast<char32_t>(c.unicode()));
        if (lower >= U'a' && lower <= U'z')
            return true;
    }
    return false;
}

// Where the number's own opening characters ("+", "(") begin before its first digit.
qsizetype numberStart(const QString& number, qsizetype firstDigit) {
    qsizetype start = firstDigit;
    while (start > 0 && (number[start - 1] == u'+' || number[start - 1] == u'('))
        --start;
    return start;
}

// The number between the words of a value with letters: from its opening "+" or "(" to its
// last digit. Empty when the value has no digit.
QStringView numberBetweenWords(const QString& number) {
    qsizetype first = 0;
    while (first < number.size() && !isDigit(number[first].unicode()))
        ++first;
    if (first == number.size())
        return {};
    qsizetype last = number.size() - 1;
    while (!isDigit(number[last].unicode()))
        --last;
    const qsizetype start = numberStart(number, first);
    return QStringView(number).sliced(start, last + 1 - start);
}

// "Tel. +49 (30) 1234567 privat": the number between the words is canonical already, so the
// value is its own canonical form. Completing it again would cost a full parse on every run.
bool canonicalBetweenWords(const QString& number) {
    return number.size() <= kMaxWrapLength &&
           NumberCompleter::looksCanonical(numberBetweenWords(number));
}

void removeGrouping(QString& text) {
    text.remove(u' ');
    text.remove(u'(');
    text.remove(u')');
}

} // namespace

bool NumberCannotChange(const QString& stored) {
    if (!hasLetter(stored))
        return NumberCompleter::keepsItsDigits(stored);
    return stored.size() <= kMaxWrapLength &&
           NumberCompleter::keepsItsDigits(numberBetweenWords(stored));
}

bool NumberChanged(QString stored, QString canonical) {
    removeGrouping(stored);
    removeGrouping(canonical);
    return stored != canonical;
}

KanonicalFormatter::KanonicalFormatter(ComponentFactory factory, DatabasePtr& database)
    : factory_(std::move(factory))
    , database_(database) {}

QString KanonicalFormatter::FormatKanonical(QString& number) {
    if (!component_) {
        component_ = factory_.create(kPhoneApplicationName);
        component_->UseDatabase(database_);
        component_->SetVisible(false);
    }
    const bool letters = hasLetter(number);
    if (letters && canonicalBetweenWords(number))
        return number;
    QString completed = component_->CompleteNumber(number);
    if (!letters)
        return completed;
    // Ahead of the mend below: a value this long fails whether completed or not.
    if (number.size() > kMaxWrapLength)
        throw ErrorRecord(ErrorNumber::Overflow, u"Overflow"_s, u"FormatKanonical"_s);
    // Not completed: wrapping the words around the whole value again would double them.
    if (completed == number)
        return number;

    qsizetype first = 0;
    while (first < number.size() && !isDigit(number[first].unicode()))
        ++first;
    // No number to put the words around.
    if (first == number.size())
        return completed;
    qsizetype last = number.size() - 1;
    while (!isDigit(number[last].unicode()))
        --last;

    const qsizetype prefixEnd = numberStart(number, first);
    return QStringView(number).first(prefixEnd) + completed + QStringView(number).sliced(last + 1);
}
