#include "NumberFormatting.h"

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

void removeGrouping(QString& text) {
    text.remove(u' ');
    text.remove(u'(');
    text.remove(u')');
}

} // namespace

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
    QString completed = component_->CompleteNumber(number);
    if (!hasLetter(number))
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

    // The number's own "+" and "(" come back with the completed number.
    qsizetype prefixEnd = first;
    while (prefixEnd > 0 && (number[prefixEnd - 1] == u'+' || number[prefixEnd - 1] == u'('))
        --prefixEnd;
    return QStringView(number).first(prefixEnd) + completed + QStringView(number).sliced(last + 1);
}
