// Number completion. The first byte picks the location and whether the rest is UTF-8 or raw
// UTF-16 (lone surrogates included). Rules: a completion is a fixed point; a changed value
// starts with "+" and keeps every digit but an exit code and trunk prefixes, gaining only
// country and area code.
#include "FuzzSupport.h"
#include "NumberCompleter.h"

#include <string>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

std::string digitsOf(const QString& text) {
    std::string digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits.push_back(static_cast<char>(c.unicode()));
    return digits;
}

QString withoutBlanksAndBrackets(QString text) {
    return text.remove(u' ').remove(u'(').remove(u')');
}

bool keptEveryDigit(const QString& value, const QString& result) {
    const std::string in = digitsOf(value);
    const std::string out = digitsOf(result);
    const std::string_view whole(in);
    // A national or local number: its prefix goes ("0", "1"), country and area code come.
    for (std::size_t head = 0; head <= std::min<std::size_t>(in.size(), 6); ++head)
        if (std::string_view(out).ends_with(whole.substr(head)) &&
            out.size() <= in.size() - head + 6)
            return true;
    // An international one: the exit code ("00", "011") and a trunk prefix behind the country
    // code go, the country code stays in front.
    for (std::size_t exit = 0; exit <= 4; ++exit)
        for (std::size_t country = 1; country <= 3; ++country)
            for (std::size_t trunk = 0; trunk <= 2; ++trunk) {
                if (exit + country + trunk > in.size())
                    continue;
                const std::string_view code = whole.substr(exit, country);
                const std::string_view rest = whole.substr(exit + country + trunk);
                if (std::string_view(out).starts_with(code) &&
                    std::string_view(out).ends_with(rest) &&
                    out.size() == code.size() + rest.size())
                    return true;
            }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const NumberCompleter completers[] = {
        NumberCompleter(u"DE"_s, u"30"_s), NumberCompleter(u"US"_s, u"425"_s),
        NumberCompleter(u"AT"_s, u"1"_s), NumberCompleter(u"CH"_s, u"44"_s), NumberCompleter()};
    const NumberCompleter& completer = completers[data[0] % 5];
    const QByteArray rest = fuzzBytes(data + 1, size - 1);
    const QString value =
        (data[0] & 0x80) != 0
            ? QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2)
            : QString::fromUtf8(rest);
    const QString result = completer.complete(value);
    // Shown with a broken rule, to tell what the completion made of the input.
    const auto show = [&] {
        std::fprintf(stderr, "region \"%s\": \"%s\" -> \"%s\"\n", qPrintable(completer.region()),
                     qPrintable(value), qPrintable(result));
        return false;
    };
    FUZZ_ASSERT(completer.complete(result) == result || show());
    // keepsItsDigits promises that such a number changes in blanks and brackets only.
    if (NumberCompleter::keepsItsDigits(value))
        FUZZ_ASSERT(withoutBlanksAndBrackets(result) == withoutBlanksAndBrackets(value) || show());
    if (result == value)
        return 0;
    FUZZ_ASSERT(result.startsWith(u'+') || show());
    FUZZ_ASSERT(keptEveryDigit(value, result) || show());
    return 0;
}
