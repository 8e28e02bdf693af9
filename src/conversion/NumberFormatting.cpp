#include "NumberFormatting.h"

#include "NumberCompleter.h"
#include "NumberText.h"

#include <atomic>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The length limit of the 16-bit string positions the rewrapping was built on.
constexpr qsizetype kMaxWrapLength = 32767;

using numbertext::isDigit;

// Where the number's own opening characters ("+", "(") begin before its first digit.
qsizetype numberStart(const QString& number, qsizetype firstDigit) {
    qsizetype start = firstDigit;
    while (start > 0 && (number[start - 1] == u'+' || number[start - 1] == u'('))
        --start;
    return start;
}

// The number between the words of a value: from its opening "+" or "(" to its last digit.
// Empty when the value has no digit.
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

// Words the completion refuses although the number between them needs nothing (bytes that were
// no text, digits of another script): the completion says why.
bool wordsNeedReading(const QString& number) {
    for (const QChar c : number) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && (QChar::isSurrogate(u) || u == u'\uFFFD' || c.isNumber()))
            return true;
    }
    return false;
}

void removeGrouping(QString& text) {
    text.remove(u' ');
    text.remove(u'(');
    text.remove(u')');
}

// Generations are unique across formatters: a pool that served another formatter must not take
// this one's component for the one it copied.
quint64 nextGeneration() {
    static std::atomic<quint64> last{0};
    return ++last;
}

} // namespace

// The number between the words holds "+", digits, blanks and brackets only, its digits are
// read as they stand (a known country code, nothing to drop or add), and the words go back
// around the completion as they were: the result equals the value but for blanks and brackets.
bool NumberCannotChange(const QString& stored) {
    if (!numbertext::hasWords(stored))
        return NumberCompleter::keepsItsDigits(stored);
    return stored.size() <= kMaxWrapLength &&
           NumberCompleter::keepsItsDigits(numberBetweenWords(stored)) && !wordsNeedReading(stored);
}

bool NumberChanged(QString stored, QString canonical) {
    removeGrouping(stored);
    removeGrouping(canonical);
    return stored != canonical;
}

KanonicalFormatter::KanonicalFormatter(ComponentFactory factory, DatabasePtr& database)
    : factory_(std::move(factory))
    , database_(database) {}

KanonicalFormatter::KanonicalFormatter(std::shared_ptr<PhoneComponent> component)
    : database_(noDatabase_)
    , component_(std::move(component)) {}

std::unique_ptr<KanonicalFormatter> KanonicalFormatter::copyForThread() const {
    if (!component_)
        return {};
    std::shared_ptr<PhoneComponent> copy = component_->copyForThread();
    if (!copy)
        return {};
    return std::unique_ptr<KanonicalFormatter>(new KanonicalFormatter(std::move(copy)));
}

QString KanonicalFormatter::FormatKanonical(QString& number) {
    bool overflow = false;
    FormattedValue formatted = format(number, {}, overflow);
    if (overflow)
        throw ErrorRecord(ErrorNumber::Overflow, u"Overflow"_s, u"FormatKanonical"_s);
    return std::move(formatted.text);
}

FormattedValue KanonicalFormatter::format(QString& number) {
    bool overflow = false;
    return format(number, {}, overflow);
}

FormattedValue KanonicalFormatter::format(QString& number, const QString& country) {
    bool overflow = false;
    return format(number, country, overflow);
}

FormattedValue KanonicalFormatter::format(QString& number, const QString& country, bool& overflow) {
    if (!component_) {
        component_ = factory_.create(kPhoneApplicationName);
        generation_ = nextGeneration();
        component_->UseDatabase(database_);
        component_->SetVisible(false);
    }
    const bool words = numbertext::hasWords(number);
    FormattedValue completed = country.isEmpty() ? component_->completeWithReason(number)
                                                 : component_->completeWithReason(number, country);
    if (!words)
        return completed;
    // Ahead of the mend below: a value this long fails whether completed or not.
    if (number.size() > kMaxWrapLength) {
        overflow = true;
        return {number, UnreadableReason::TooLong};
    }
    // Not completed: wrapping the words around the whole value again would double them.
    if (completed.text == number)
        return {number, completed.reason};

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
    return {QStringView(number).first(prefixEnd) + completed.text +
                QStringView(number).sliced(last + 1),
            UnreadableReason::None};
}
