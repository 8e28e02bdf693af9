#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

using namespace Qt::StringLiterals;

std::unique_ptr<QTranslator> installQtTranslations(UiLanguage language) {
    if (language != UiLanguage::German)
        return {};
    auto translator = std::make_unique<QTranslator>();
    // "qt_de" gathers the modules' catalogues (qtbase_de and the others installed).
    if (!translator->load(QLocale(QLocale::German), u"qt"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return {};
    return translator;
}
