#pragma once

#include <QString>

// How much work a new password hash costs: Interactive for real users, Minimal for test fixtures.
enum class PasswordCost { Interactive, Minimal };

// An Argon2id hash string (libsodium) of password; the plain text is never stored.
QString hashPassword(const QString& password, PasswordCost cost = PasswordCost::Interactive);
// True when password matches hash; false for a malformed hash.
bool verifyPassword(const QString& hash, const QString& password);
