#pragma once

#include "ConversionRun.h"

#include <QString>

// Why a value with digits came back from the formatting unchanged, read from its shape: two
// numbers side by side, digits between words, a value too long to be a number, else no valid
// number at all. Empty when the value is in canonical form already (nothing was left undone).
std::optional<Unreadable> whyUnchanged(const QString& value);

// The reason's name in the user-interface language.
QString unreadableName(Unreadable reason);
// The reason's name for files that machines read ("no-valid-number", ...).
QString unreadableKey(Unreadable reason);
