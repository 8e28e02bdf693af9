#include "PgServer.h"

#include "DatabaseUri.h"
#include "PgCore.h"
#include "PgErrors.h"
#include "VdbObjects.h"

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<PgConnection> connect(const QString& uri, const QString& user,
                                      const QString& password, int lockTimeoutMs) {
    auto db = std::make_unique<PgConnection>(uri, user, password);
    db->exec(u"SELECT set_config('lock_timeout', $1, false)"_s,
             {QString(QString::number(lockTimeoutMs) + u"ms"_s)});
    return db;
}

bool isMember(PgConnection& db, const QString& role) {
    return db.exec(u"SELECT CASE WHEN EXISTS (SELECT 1 FROM pg_roles WHERE rolname = $1) "
                   "THEN pg_has_role(current_user, $1, 'MEMBER') ELSE false END"_s,
                   {role})
               .text(0, 0) == u"t"_s;
}

} // namespace

std::shared_ptr<PgCore> openPgCore(const QString& uri, int lockTimeoutMs) {
    auto db = connect(uri, {}, {}, lockTimeoutMs);
    const QString shown = uriWithoutPassword(uri);
    PgCatalogue catalogue = loadPgCatalogue(*db, shown);
    EngineCore::Login login{QString::fromUtf8(PQuser(db->handle())), false, false};
    login.databaseAdmin = isMember(*db, catalogue.databaseAdminRole);
    login.userAdmin = isMember(*db, catalogue.userAdminRole);
    return std::make_shared<PgCore>(std::move(db), shown, std::move(catalogue), std::move(login));
}

DatabasePtr PgServer::OpenDatabase(const QString& uri, const QString& user, const QString& password,
                                   qint32 flags) {
    auto db = connect(uri, user, password, lockTimeoutMs_);
    const QString shown = uriWithoutPassword(uri);
    PgCatalogue catalogue = loadPgCatalogue(*db, shown);
    EngineCore::Login login{user, isMember(*db, catalogue.databaseAdminRole),
                            isMember(*db, catalogue.userAdminRole)};
    if ((flags & OpenFlag::DatabaseAdmin) != 0 && !login.databaseAdmin)
        throw pgError(VdbCode::NoDatabaseAdminRight,
                      u"The user \""_s + user + u"\" has no right to administer the database."_s);
    if ((flags & OpenFlag::UserAdmin) != 0 && !login.userAdmin)
        throw pgError(VdbCode::NoUserAdminRight,
                      u"The user \""_s + user + u"\" has no right to administer users."_s);
    auto core =
        std::make_shared<PgCore>(std::move(db), shown, std::move(catalogue), std::move(login));
    return makeDatabaseHandle(std::move(core));
}
