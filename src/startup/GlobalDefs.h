#pragma once

#include "ErrorRecord.h"

#include <QString>
#include <QVariantList>

class MessageBoxes;
enum class MsgIcon;

// Fills the "%s" placeholders in order (text an argument brings in takes part in later
// replacements), then turns every "/n" into CR LF. A null argument fails with error 94.
QString FormatString(const QString& text, const QVariantList& args = {});

// Description, " (&H", the number in upper-case hexadecimal (two's complement), ")".
QString ErrorText(const ErrorRecord& error);

// Shows the error in a box: positive numbers as ErrorText, others as the string-table entry
// their server code names, or "VelDbServer returned Error &H..." when there is none.
void ShowError(const ErrorRecord& error, MessageBoxes& boxes);
// The text ShowError shows, and its icon.
QString ShownErrorText(const ErrorRecord& error, MsgIcon* icon = nullptr);

// The number in upper-case hexadecimal without leading zeros, negatives in two's complement.
QString HexNumber(qint32 number);
