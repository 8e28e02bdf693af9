#include "StringTable.h"

#include "ErrorRecord.h"

#include <QLocale>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

struct Entry {
    int id;
    const char16_t* german;
    const char16_t* english;
};

constexpr Entry kEntries[] = {
#define STRING_ENTRY(id, constant, german, english) {id, german, english},
#include "StringTable.def"
#undef STRING_ENTRY
};

std::optional<UiLanguage> gLanguageOverride;

} // namespace

UiLanguage systemUiLanguage() {
    const QStringList languages = QLocale::system().uiLanguages();
    if (!languages.isEmpty() && languages.first().startsWith(u"de", Qt::CaseInsensitive))
        return UiLanguage::German;
    return UiLanguage::English;
}

UiLanguage uiLanguage() {
    return gLanguageOverride.value_or(systemUiLanguage());
}

void setUiLanguageOverride(std::optional<UiLanguage> language) {
    gLanguageOverride = language;
}

QString LoadResourceString(int id) {
    return LoadResourceString(id, uiLanguage());
}

QString LoadResourceString(int id, UiLanguage language) {
    for (const Entry& entry : kEntries) {
        if (entry.id == id)
            return QString::fromUtf16(language == UiLanguage::German ? entry.german
                                                                     : entry.english);
    }
    throw ErrorRecord(ErrorNumber::ResourceNotFound,
                      u"Resource with identifier '"_s + QString::number(id) + u"' not found"_s,
                      u"LoadResourceString"_s);
}

QString LoadResourceText(int id, const QStringList& args, UiLanguage language) {
    const QStringList parts = LoadResourceString(id, language).split(u"%s"_s);
    QString text;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += i <= args.size() ? args[i - 1] : u"%s"_s;
        text += QString(parts[i]).replace(u"/n"_s, u"\n"_s);
    }
    return text;
}
