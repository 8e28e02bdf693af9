#pragma once

#include "ErrorRecord.h"

class MessageBoxes;

// The main window's error box: "Fehler: " + signed number + "in " + operation + CR LF +
// description, warning icon, OK, the application title. Its words are German in every language.
void showWindowError(MessageBoxes& boxes, const ErrorRecord& error, const QString& operation);
