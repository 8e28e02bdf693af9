#include "PgRoles.h"

#include "PgErrors.h"

#include <cstring>

using namespace Qt::StringLiterals;

bool roleExists(PgConnection& db, const QString& role) {
    return db.exec(u"SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = $1"_s, {role}).rows() > 0;
}

QString userNameProblem(const QString& name) {
    static const QStringList kReserved{u"postgres"_s,     u"public"_s,       u"none"_s,
                                       u"current_user"_s, u"session_user"_s, u"current_role"_s};
    if (name.startsWith(u"pg_"_s, Qt::CaseInsensitive) || kReserved.contains(name.toLower()))
        return u"the user name "_s + name + u" is one the server keeps for itself"_s;
    if (name.toUtf8().size() > 63)
        return u"the user name "_s + name + u" is longer than the server's 63 bytes"_s;
    return {};
}

bool mayCreateRoles(PgConnection& db) {
    return db.exec(
                 u"SELECT rolcreaterole OR rolsuper FROM pg_catalog.pg_roles WHERE rolname = current_user"_s)
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
bool createRoleUnlessThere(PgConnection& db, const QString& role, const QString& options) {
    if (roleExists(db, role))
        return false;
    db.exec(u"SAVEPOINT vdb_role"_s);
    const PgResult result = db.execRaw(u"CREATE ROLE "_s + pgQuote(role) + options);
    const QString state = sqlState(result);
    if (PQresultStatus(result.handle()) == PGRES_COMMAND_OK) {
        db.exec(u"RELEASE SAVEPOINT vdb_role"_s);
        return true;
    }
    if (state != u"23505"_s && state != u"42710"_s)
        db.throwFailure(result, u"creating the role "_s + role);
    db.exec(u"ROLLBACK TO SAVEPOINT vdb_role"_s);
    return false;
}

void markCreatedUser(PgConnection& db, const QString& role) {
    db.exec(u"COMMENT ON ROLE "_s + pgQuote(role) + u" IS 'Telnormer user'"_s);
}

void ensureDatabaseRoles(PgConnection& db, const PgRoles& roles) {
    const PgResult found = db.exec(
        u"SELECT r.rolname FROM pg_catalog.pg_roles r WHERE r.rolname IN ($1, $2, $3) AND "
        "(r.rolcanlogin OR r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication OR "
        "r.rolbypassrls OR EXISTS (SELECT 1 FROM pg_catalog.pg_auth_members m "
        "JOIN pg_catalog.pg_roles g ON g.oid = m.roleid WHERE m.member = r.oid AND "
        "g.rolname <> $1) OR EXISTS (SELECT 1 FROM pg_catalog.pg_auth_members m "
        "JOIN pg_catalog.pg_roles u ON u.oid = m.member WHERE m.roleid = r.oid AND "
        "u.rolname NOT IN ($2, $3)))"_s,
        {roles.users, roles.databaseAdmins, roles.userAdmins});
    if (found.rows() > 0)
        throw pgError(PgCode::NoPrivilege,
                      u"The role \""_s + found.text(0, 0) +
                          u"\" exists already with members or rights of its own (left by a "
                          "database of the same name, or made by somebody else); the database "
                          "cannot use it. Drop it, or take those away, first."_s);
    bool missing = false;
    for (const QString& role : {roles.users, roles.databaseAdmins, roles.userAdmins})
        missing = missing || !roleExists(db, role);
    if (missing && !mayCreateRoles(db))
        refuseRoles(db);
    for (const QString& role : {roles.users, roles.databaseAdmins, roles.userAdmins})
        createRoleUnlessThere(db, role, u" NOLOGIN"_s);
    // An admin is a user too.
    db.exec(u"GRANT "_s + pgQuote(roles.users) + u" TO "_s + pgQuote(roles.databaseAdmins) +
            u", "_s + pgQuote(roles.userAdmins));
}

void setRights(PgConnection& db, const PgRoles& roles, const QString& user, bool databaseAdmin,
               bool userAdmin) {
    const QString name = pgQuote(user);
    db.exec(u"GRANT "_s + pgQuote(roles.users) + u" TO "_s + name);
    for (const auto& [role, on] :
         {std::pair{roles.databaseAdmins, databaseAdmin}, std::pair{roles.userAdmins, userAdmin}})
        db.exec((on ? u"GRANT "_s : u"REVOKE "_s) + pgQuote(role) + (on ? u" TO "_s : u" FROM "_s) +
                name);
}

void refuseOtherDatabaseUser(PgConnection& db, const PgRoles& roles, const QString& login) {
    // pg_auth_members, not pg_has_role: a superuser would be everybody's member.
    const PgResult other =
        db.exec(u"WITH RECURSIVE m(grp) AS (SELECT a.roleid FROM pg_catalog.pg_auth_members a "
                "JOIN pg_catalog.pg_roles r ON r.oid = a.member WHERE r.rolname = $1 "
                "UNION SELECT a.roleid FROM pg_catalog.pg_auth_members a JOIN m ON a.member = "
                "m.grp) SELECT g.rolname FROM m JOIN pg_catalog.pg_roles g ON g.oid = m.grp "
                "WHERE g.rolname LIKE 'tn\\_%\\_users' AND g.rolname <> $2 LIMIT 1"_s,
                {login, roles.users});
    if (other.rows() > 0)
        throw pgError(PgCode::NoPrivilege,
                      u"The role \""_s + login +
                          u"\" is a user of another Telnormer database on this server (\""_s +
                          other.text(0, 0) +
                          u"\"); only that database's administrators may change it."_s);
}

QList<PgUser> databaseUsers(PgConnection& db, const PgRoles& roles) {
    // Walked through pg_auth_members, not pg_has_role: a superuser is everybody's member there.
    const PgResult result =
        db.exec(u"WITH RECURSIVE m(member, grp) AS ("
                "SELECT a.member, g.rolname FROM pg_catalog.pg_auth_members a "
                "JOIN pg_catalog.pg_roles g ON g.oid = a.roleid WHERE g.rolname IN ($1, $2, $3) "
                "UNION SELECT a.member, m.grp FROM pg_catalog.pg_auth_members a "
                "JOIN m ON a.roleid = m.member) "
                "SELECT r.rolname, bool_or(m.grp = $2), bool_or(m.grp = $3) FROM m "
                "JOIN pg_catalog.pg_roles r ON r.oid = m.member WHERE r.rolcanlogin "
                "GROUP BY r.rolname ORDER BY r.rolname"_s,
                {roles.users, roles.databaseAdmins, roles.userAdmins});
    QList<PgUser> users;
    for (int r = 0; r < result.rows(); ++r)
        users.append({result.text(r, 0), result.text(r, 1) == u"t"_s, result.text(r, 2) == u"t"_s});
    return users;
}
