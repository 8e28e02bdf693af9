#pragma once

#include "ConversionRun.h"
#include "UnreadableReason.h"

#include <QString>

// The report's reason for a value the formatting left unchanged; empty when nothing was left
// undone (canonical already, a short number).
std::optional<Unreadable> unreadable(UnreadableReason reason);

// The reason's name in the user-interface language.
QString unreadableName(Unreadable reason);
// The reason's name for files that machines read ("no-valid-number", ...).
QString unreadableKey(Unreadable reason);
