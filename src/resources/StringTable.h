#pragma once

#include "modResourceConstants.h"

#include <QString>
#include <QStringList>

#include <optional>

enum class UiLanguage { German, English };

// German when the system's user-interface language is German, English otherwise.
UiLanguage systemUiLanguage();
// The language the string table answers in: the override when set, else the system's.
UiLanguage uiLanguage();
// Makes the string table answer in that language (tests); nullopt goes back to the system's.
void setUiLanguageOverride(std::optional<UiLanguage> language);

// The entry's text in the user-interface language; fails with error 326 when there is none.
QString LoadResourceString(int id);
// The entry's text in the given language; fails with error 326 when there is none.
QString LoadResourceString(int id, UiLanguage language);
// The entry's text with its "%s" filled in order by args and its "/n" made line feeds. Unlike
// FormatString an argument is taken as it is: a "%s" or "/n" in a path or a value someone typed
// ("/nfs/kunden.vdb") stays as it was written.
QString LoadResourceText(int id, const QStringList& args, UiLanguage language = uiLanguage());
