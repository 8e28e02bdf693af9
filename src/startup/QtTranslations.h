#pragma once

#include "StringTable.h"

#include <QTranslator>

#include <memory>

// Installs Qt's own translations (its buttons and dialogs) for the user-interface language;
// our texts come from the string table and are not touched. Returns the installed translator,
// which uninstalls itself when destroyed; null for English or when the files are missing.
std::unique_ptr<QTranslator> installQtTranslations(UiLanguage language);
