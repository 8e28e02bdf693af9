#pragma once

#include "VdbErrors.h"

// Server errors only a database server has (the others keep the .vdb engine's codes and texts).
namespace PgCode {
constexpr quint32 CannotConnect = 4170;
constexpr quint32 ConnectionLost = 4171; // kConnectionLostNumber
constexpr quint32 NoPrivilege = 4172;
// The server refused the login; it does not say whether the name or the password was wrong.
constexpr quint32 LoginRefused = 4173;
constexpr quint32 LostAfterCommit = 4174; // kLostAfterCommitNumber
constexpr quint32 CommitUnknown = 4175;   // kCommitUnknownNumber
} // namespace PgCode

// A server error of the PostgreSQL backend.
ErrorRecord pgError(quint32 code, const QString& description);
// The connection to the server is gone; reason is libpq's.
ErrorRecord pgConnectionLost(const QString& reason);
