#include "PgServer.h"

#include "DatabaseUri.h"
#include "PgCore.h"
#include "PgErrors.h"
#include "UserName.h"
#include "VdbObjects.h"

using namespace Qt::StringLiterals;

namespace {

struct Session {
    std::unique_ptr<PgConnection> db;
    PgRoles roles;
    bool user = false;
    bool databaseAdmin = false;
    bool userAdmin = false;
};

// Connects and, in the same round trip, sets the session up (the lock timeout; only the server's
// own functions by unqualified name; no compiling of plans, which a batch's few records never
// repay and which a table read whole in a batch's transaction would pay every time) and asks which
// of the database's roles the login holds. The connection already starts with that search_path; the
// statement names the server's own operator all the same, should a pooler drop the connection's
// options.
Session connect(const QString& uri, const QString& user, const QString& password,
                int lockTimeoutMs) {
    Session session{std::make_unique<PgConnection>(uri, user, password), {}};
    session.roles = pgRolesOf(session.db->databaseName());
    const QString member =
        u"coalesce(pg_catalog.pg_has_role(current_user, (SELECT oid FROM "
        "pg_catalog.pg_roles WHERE rolname OPERATOR(pg_catalog.=) $%1), 'MEMBER'), false)"_s;
    const PgResult result = session.db->exec(
        u"SELECT pg_catalog.set_config('lock_timeout', $4, false), "
        "pg_catalog.set_config('search_path', 'pg_catalog', false), "
        "pg_catalog.set_config('jit', 'off', false), "_s +
            member.arg(1) + u", "_s + member.arg(2) + u", "_s + member.arg(3),
        {session.roles.users, session.roles.databaseAdmins, session.roles.userAdmins,
         QString(QString::number(lockTimeoutMs) + u"ms"_s)});
    session.user = result.text(0, 3) == u"t"_s;
    session.databaseAdmin = result.text(0, 4) == u"t"_s;
    session.userAdmin = result.text(0, 5) == u"t"_s;
    return session;
}

// The login box writes names in capitals; a server's roles are mostly in lower case. When the
// server refused the name as typed, its lower-case form is tried, and taken only when no role
// has the name as typed and exactly one login role matches it ignoring case.
Session connectIgnoringCase(const QString& uri, const QString& user, const QString& password,
                            int lockTimeoutMs) {
    try {
        return connect(uri, user, password, lockTimeoutMs);
    } catch (const ErrorRecord& refused) {
        const bool loginRefused = refused.number() == serverErrorNumber(PgCode::LoginRefused) ||
                                  refused.number() == serverErrorNumber(VdbCode::UnknownUser);
        const QString lower = user.toLower();
        if (!loginRefused || lower == user)
            throw;
        std::optional<Session> session;
        try {
            session = connect(uri, lower, password, lockTimeoutMs);
        } catch (const ErrorRecord&) {
            throw refused;
        }
        const PgResult roles = session->db->exec(
            u"SELECT rolname, rolcanlogin FROM pg_catalog.pg_roles WHERE rolname = $1 OR "
            "lower(rolname) = $2 OR upper(rolname) = upper($1)"_s,
            {user, lower});
        int matching = 0;
        for (int r = 0; r < roles.rows(); ++r) {
            const QString name = roles.text(r, 0);
            if (name == user)
                throw refused;
            if (roles.text(r, 1) == u"t"_s && upperCaseUserName(name) == upperCaseUserName(user))
                ++matching;
        }
        if (matching != 1)
            throw refused;
        return std::move(*session);
    }
}

} // namespace

std::shared_ptr<PgCore> openPgCore(const QString& uri, ConditionJudges judges, int lockTimeoutMs) {
    Session session = connect(uri, {}, {}, lockTimeoutMs);
    const QString shown = uriWithoutPassword(uri);
    PgCatalogue catalogue = loadPgCatalogue(*session.db, shown);
    EngineCore::Login login{QString::fromUtf8(PQuser(session.db->handle())), session.databaseAdmin,
                            session.userAdmin};
    return std::make_shared<PgCore>(std::move(session.db), shown, std::move(catalogue),
                                    std::move(login), judges);
}

DatabasePtr PgServer::OpenDatabase(const QString& uri, const QString& user, const QString& password,
                                   qint32 flags) {
    Session session = connectIgnoringCase(uri, user, password, lockTimeoutMs_);
    const QString name = QString::fromUtf8(PQuser(session.db->handle()));
    const QString shown = uriWithoutPassword(uri);
    if (!session.user &&
        session.db->exec(u"SELECT to_regnamespace('telnormer') IS NULL"_s).text(0, 0) == u"t"_s)
        throw pgError(VdbCode::NotADatabase,
                      u"The database holds no Telnormer catalogue: "_s + shown);
    if (!session.user)
        throw pgError(VdbCode::UnknownUser,
                      u"The user \""_s + name + u"\" is not a user of this database."_s);
    if ((flags & OpenFlag::DatabaseAdmin) != 0 && !session.databaseAdmin)
        throw pgError(VdbCode::NoDatabaseAdminRight,
                      u"The user \""_s + name + u"\" has no right to administer the database."_s);
    if ((flags & OpenFlag::UserAdmin) != 0 && !session.userAdmin)
        throw pgError(VdbCode::NoUserAdminRight,
                      u"The user \""_s + name + u"\" has no right to administer users."_s);
    PgCatalogue catalogue = loadPgCatalogue(*session.db, shown);
    EngineCore::Login login{name, session.databaseAdmin, session.userAdmin};
    auto core = std::make_shared<PgCore>(std::move(session.db), shown, std::move(catalogue),
                                         std::move(login), judges_);
    return makeDatabaseHandle(std::move(core));
}
