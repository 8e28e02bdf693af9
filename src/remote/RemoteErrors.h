#pragma once

#include "ErrorRecord.h"

#include <QDBusMessage>

#include <optional>

// An ErrorRecord crosses the bus as the error com.veltrano.VelTelnormer.Error with the message
// "0x80042EE0: description" and, as a second string, its source (hosts may leave that out).
namespace Remote {

// The error reply to request carrying error.
QDBusMessage errorReply(const QDBusMessage& request, const ErrorRecord& error);
// The message text: the number in hex, a colon, the description.
QString errorMessage(const ErrorRecord& error);
// The ErrorRecord an error reply of that name carries; nullopt when it carries none.
std::optional<ErrorRecord> parseError(const QDBusMessage& reply);

} // namespace Remote
