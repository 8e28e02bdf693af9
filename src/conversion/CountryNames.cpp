#include "CountryNames.h"

#include <phonenumbers/phonenumberutil.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <QHash>

#include <set>
#include <string>

using namespace Qt::StringLiterals;

namespace {

QString key(QStringView text) {
    QString letters = text.toString();
    // Marks that show nothing (a right-to-left mark pasted with the name) are no part of it.
    letters.removeIf([](QChar c) { return c.category() == QChar::Other_Format; });
    return letters.trimmed().toCaseFolded();
}

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Built once, read by every thread.
const QHash<QString, QString>& regions() {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> names;
        std::set<std::string> supported;
        i18n::phonenumbers::PhoneNumberUtil::GetInstance()->GetSupportedRegions(&supported);
        const icu::Locale german("de");
        const icu::Locale english("en");
        for (const std::string& region : supported) {
            const QString code = QString::fromLatin1(region);
            const icu::Locale locale("", region.c_str());
            icu::UnicodeString name;
            names.insert(key(code), code);
            names.insert(key(QString::fromLatin1(locale.getISO3Country())), code);
            names.insert(key(fromIcu(locale.getDisplayCountry(german, name))), code);
            names.insert(key(fromIcu(locale.getDisplayCountry(english, name))), code);
        }
        names.insert(u"uk"_s, u"GB"_s);
        // A region ICU has no name or alpha-3 code for yields itself or nothing.
        names.remove(QString());
        return names;
    }();
    return table;
}

} // namespace

QString regionOfCountry(QStringView country) {
    return regions().value(key(country));
}
