#pragma once

#include "PgCatalogue.h"
#include "PgConnection.h"

#include <QList>
#include <QString>

// The server's roles as the users of Telnormer databases: existence, creation, memberships.

bool roleExists(PgConnection& db, const QString& role);
// Why name cannot be a user's role (empty when it can): a name the server keeps for itself, or
// one it would cut short.
QString userNameProblem(const QString& name);
// Whether the connected role may create roles (CREATEROLE or superuser).
bool mayCreateRoles(PgConnection& db);
// Refuses clearly what needs CREATEROLE.
[[noreturn]] void refuseRoles(PgConnection& db);
// The PASSWORD clause of CREATE/ALTER ROLE for password: its SCRAM verifier, never the text.
QString passwordClause(PgConnection& db, const QString& role, const QString& password);
// Creates role with options unless it exists (also when another session creates it meanwhile);
// true when this call created it.
bool createRoleUnlessThere(PgConnection& db, const QString& role, const QString& options);
// Marks a login role as one Telnormer created: only such a role is ever dropped.
void markCreatedUser(PgConnection& db, const QString& role);
// Creates the database's three roles. A role of that name that exists already is taken only
// when it is a plain group role without members or rights of its own: one planted or left with
// them would hand them to, or take in, users nobody chose.
void ensureDatabaseRoles(PgConnection& db, const PgRoles& roles);
// Makes user a user of the database with exactly the rights given.
void setRights(PgConnection& db, const PgRoles& roles, const QString& user, bool databaseAdmin,
               bool userAdmin);

// Refuses login when it is a user of another Telnormer database: its password and rights are
// that database's administrators' to change, not this one's.
void refuseOtherDatabaseUser(PgConnection& db, const PgRoles& roles, const QString& login);

struct PgUser {
    QString name;
    bool databaseAdmin = false;
    bool userAdmin = false;
};
// The login roles that are users of the database (members of its roles, also through others).
QList<PgUser> databaseUsers(PgConnection& db, const PgRoles& roles);
