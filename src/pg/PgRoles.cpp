#include "PgRoles.h"

#include "PgErrors.h"

#include <cstring>

using namespace Qt::StringLiterals;

bool roleExists(PgConnection& db, const QString& role) {
    return db.exec(u"SELECT 1 FROM pg_roles WHERE rolname = $1"_s, {role}).rows() > 0;
}

bool mayCreateRoles(PgConnection& db) {
    return db.exec(u"SELECT rolcreaterole OR rolsuper FROM pg_roles WHERE rolname = current_user"_s)
               .text(0, 0) == u"t"_s;
}

[[noreturn]] void refuseRoles(PgConnection& db) {
    throw pgError(PgCode::NoPrivilege,
                  u"The role \""_s + QString::fromUtf8(PQuser(db.handle())) +
                      u"\" may not create or change roles (it needs CREATEROLE); connect as a "
                      "role that may."_s);
}

// A password never travels as text: the server gets its SCRAM verifier, made here. Utility
// statements take no bound parameters, so the verifier goes in as an escaped literal.
QString passwordClause(PgConnection& db, const QString& role, const QString& password) {
    if (password.isEmpty())
        throw pgError(VdbCode::InvalidArgument, u"An empty password is refused."_s);
    char* verifier = PQencryptPasswordConn(db.handle(), password.toUtf8().constData(),
                                           role.toUtf8().constData(), "scram-sha-256");
    if (!verifier)
        throw pgError(VdbCode::StorageFailure,
                      QString::fromUtf8(PQerrorMessage(db.handle())).trimmed());
    char* literal = PQescapeLiteral(db.handle(), verifier, strlen(verifier));
    PQfreemem(verifier);
    if (!literal)
        throw pgError(VdbCode::StorageFailure,
                      QString::fromUtf8(PQerrorMessage(db.handle())).trimmed());
    const QString clause = u" PASSWORD "_s + QString::fromUtf8(literal);
    PQfreemem(literal);
    return clause;
}

// Roles belong to the whole server: another database's set-up may create the same role at the
// same moment. Its role is as good as ours.
void createRoleUnlessThere(PgConnection& db, const QString& role, const QString& options) {
    if (roleExists(db, role))
        return;
    db.exec(u"SAVEPOINT vdb_role"_s);
    const PgResult result = db.execRaw(u"CREATE ROLE "_s + pgQuote(role) + options);
    const QString state = sqlState(result);
    if (PQresultStatus(result.handle()) == PGRES_COMMAND_OK) {
        db.exec(u"RELEASE SAVEPOINT vdb_role"_s);
        return;
    }
    if (state != u"23505"_s && state != u"42710"_s)
        db.throwFailure(result, u"creating the role "_s + role);
    db.exec(u"ROLLBACK TO SAVEPOINT vdb_role"_s);
}

void ensureGroupRole(PgConnection& db, const QString& role) {
    createRoleUnlessThere(db, role, u" NOLOGIN"_s);
}

void setMembership(PgConnection& db, const QString& group, const QString& user, bool member) {
    db.exec((member ? u"GRANT "_s : u"REVOKE "_s) + pgQuote(group) +
            (member ? u" TO "_s : u" FROM "_s) + pgQuote(user));
}
