#pragma once

#include "PgConnection.h"

#include <QString>

// The server's roles as the users of Telnormer databases: existence, creation, memberships.

bool roleExists(PgConnection& db, const QString& role);
// Whether the connected role may create roles (CREATEROLE or superuser).
bool mayCreateRoles(PgConnection& db);
// Refuses clearly what needs CREATEROLE.
[[noreturn]] void refuseRoles(PgConnection& db);
// The PASSWORD clause of CREATE/ALTER ROLE for password: its SCRAM verifier, never the text.
QString passwordClause(PgConnection& db, const QString& role, const QString& password);
// Creates role with options unless it exists (also when another session creates it meanwhile).
void createRoleUnlessThere(PgConnection& db, const QString& role, const QString& options);
// A role without login whose members hold a right.
void ensureGroupRole(PgConnection& db, const QString& role);
void setMembership(PgConnection& db, const QString& group, const QString& user, bool member);
