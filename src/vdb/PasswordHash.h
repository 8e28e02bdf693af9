#pragma once

#include <QString>

// How much work a new password hash costs: Interactive for real users, Minimal for test fixtures.
enum class PasswordCost { Interactive, Minimal };

// An Argon2id hash string (libsodium) of password; the plain text is never stored.
QString hashPassword(const QString& password, PasswordCost cost = PasswordCost::Interactive);
// Largest Argon2 costs a stored hash may ask for: far above what hashPassword writes (2 passes,
// 64 MiB), low enough that a login still answers within seconds.
constexpr quint64 kMaxHashPasses = 8;
constexpr quint64 kMaxHashMemoryKiB = 256 * 1024;
// True when hash is an Argon2id/Argon2i string whose costs stay within those limits.
bool passwordHashIsSane(const QString& hash);
// True when password matches hash; false for a malformed hash.
bool verifyPassword(const QString& hash, const QString& password);
