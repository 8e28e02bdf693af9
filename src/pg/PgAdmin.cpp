#include "PgAdmin.h"

#include "PgCore.h"
#include "PgErrors.h"
#include "PgRoles.h"
#include "PgServer.h"
#include "SchemaRules.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kRowsPerInsert = 200;

} // namespace

PgAdmin::PgAdmin(const QString& uri)
    : core_(openPgCore(uri)) {}

PgAdmin::~PgAdmin() = default;

const Catalogue& PgAdmin::catalogue() const {
    return core_->catalogue();
}

template <class Body>
void PgAdmin::inTransaction(Body body) {
    PgConnection& db = core_->connection();
    db.exec(u"BEGIN"_s);
    try {
        body(db);
        db.exec(u"COMMIT"_s);
    } catch (...) {
        if (PQstatus(db.handle()) == CONNECTION_OK)
            db.execRaw(u"ROLLBACK"_s);
        throw;
    }
}

PgAdmin::Inserter::Inserter(PgAdmin& admin, const QString& table, const QStringList& fields)
    : admin_(admin)
    , table_(admin.core_->tableIndex(table)) {
    QStringList columns;
    for (const QString& name : fields) {
        const int f = admin_.core_->fieldIndex(table_, name);
        if (fields_.contains(f))
            throw pgError(VdbCode::InvalidArgument,
                          u"The field \""_s + name + u"\" is given twice."_s);
        fields_ << f;
        columns << pgQuote(name);
    }
    head_ = u"INSERT INTO "_s + pgTable(table) +
            (columns.isEmpty() ? u" DEFAULT VALUES"_s
                               : u" ("_s + columns.join(u", "_s) + u") VALUES "_s);
    admin_.core_->connection().exec(u"BEGIN"_s);
    open_ = true;
}

PgAdmin::Inserter::~Inserter() {
    if (open_ && PQstatus(admin_.core_->connection().handle()) == CONNECTION_OK)
        admin_.core_->connection().execRaw(u"ROLLBACK"_s);
}

void PgAdmin::Inserter::add(const QVariantList& values) {
    ++count_;
    const auto row = [this]() -> QString {
        return u"row "_s + QString::number(count_) + u": "_s;
    };
    if (values.size() != fields_.size())
        throw pgError(VdbCode::InvalidArgument,
                      row() + u"has "_s + QString::number(values.size()) + u" values for "_s +
                          QString::number(fields_.size()) + u" fields."_s);
    QVariantList stored;
    for (qsizetype i = 0; i < values.size(); ++i) {
        try {
            stored << admin_.core_->storedValue(table_, fields_[i], values[i]);
        } catch (const ErrorRecord& e) {
            throw ErrorRecord(e.number(), row() + e.description(), e.source());
        }
    }
    pending_ << stored;
    if (fields_.isEmpty() || pending_.size() >= kRowsPerInsert)
        flush();
}

// Many rows per statement; when one breaks a condition or type, the rows go again one by one
// under a savepoint, so that the error names the row.
void PgAdmin::Inserter::flush() {
    if (pending_.isEmpty())
        return;
    PgConnection& db = admin_.core_->connection();
    const qint64 first = count_ - pending_.size() + 1;
    auto statementFor = [&](qsizetype from, qsizetype rows, QVariantList& params) -> QString {
        if (fields_.isEmpty())
            return head_;
        QStringList tuples;
        for (qsizetype r = from; r < from + rows; ++r) {
            QStringList marks;
            for (const QVariant& value : pending_[r]) {
                params << value;
                marks << u"$"_s + QString::number(params.size());
            }
            tuples << u'(' + marks.join(u", "_s) + u')';
        }
        return head_ + tuples.join(u", "_s);
    };
    QVariantList params;
    const QString sql = statementFor(0, pending_.size(), params);
    db.exec(u"SAVEPOINT vdb_insert"_s);
    PgResult result = db.execRaw(sql, params);
    if (PQresultStatus(result.handle()) == PGRES_COMMAND_OK) {
        db.exec(u"RELEASE SAVEPOINT vdb_insert"_s);
        pending_.clear();
        return;
    }
    if (PQstatus(db.handle()) != CONNECTION_OK)
        db.throwFailure(result, {});
    db.exec(u"ROLLBACK TO SAVEPOINT vdb_insert"_s);
    for (qsizetype r = 0; r < pending_.size(); ++r) {
        QVariantList one;
        const PgResult single = db.execRaw(statementFor(r, 1, one), one);
        if (PQresultStatus(single.handle()) != PGRES_COMMAND_OK) {
            try {
                admin_.core_->throwWriteFailure(table_, single);
            } catch (const ErrorRecord& e) {
                pending_.clear();
                throw ErrorRecord(
                    e.number(), u"row "_s + QString::number(first + r) + u": "_s + e.description(),
                    e.source());
            }
        }
    }
    pending_.clear();
}

void PgAdmin::Inserter::commit() {
    flush();
    admin_.core_->connection().exec(u"COMMIT"_s);
    open_ = false;
}

void PgAdmin::insertRows(const QString& table, const QStringList& fields,
                         const QList<QVariantList>& rows) {
    Inserter inserter(*this, table, fields);
    for (const QVariantList& row : rows)
        inserter.add(row);
    inserter.commit();
}

qint64 PgAdmin::mark(const QString& table, const QStringList& ids, bool on) {
    const int t = core_->tableIndex(table);
    const TableDef& def = core_->catalogue().tables[t];
    if (def.fieldPosition(u"ID"_s) < 0)
        throw pgError(VdbCode::NoSuchItem,
                      u"The table \""_s + table + u"\" has no field named \"ID\"."_s);
    qint64 changed = 0;
    const QString array = u'{' + ids.join(u',') + u'}';
    inTransaction([&](PgConnection& db) {
        const QString matching =
            u"SELECT vdb_rid FROM "_s + pgTable(table) + u" WHERE \"ID\"::text = ANY($2::text[])"_s;
        changed =
            on ? db.exec(
                       u"INSERT INTO telnormer.vdb_marks(table_id, rid) SELECT $1, vdb_rid FROM ("_s +
                           matching + u") m ON CONFLICT DO NOTHING"_s,
                       {def.id, array})
                     .affected()
               : db.exec(u"DELETE FROM telnormer.vdb_marks WHERE table_id = $1 AND rid IN ("_s +
                             matching + u')',
                         {def.id, array})
                     .affected();
    });
    return changed;
}

qint64 PgAdmin::markAll(const QString& table, bool on) {
    const TableDef& def = core_->catalogue().tables[core_->tableIndex(table)];
    qint64 changed = 0;
    inTransaction([&](PgConnection& db) {
        changed =
            on ? db.exec(
                       u"INSERT INTO telnormer.vdb_marks(table_id, rid) SELECT $1, vdb_rid FROM "_s +
                           pgTable(table) + u" ON CONFLICT DO NOTHING"_s,
                       {def.id})
                     .affected()
               : db.exec(u"DELETE FROM telnormer.vdb_marks WHERE table_id = $1"_s, {def.id})
                     .affected();
    });
    return changed;
}

void PgAdmin::requireCreateRole(const QString& user) {
    if (const QString problem = userNameProblem(user); !problem.isEmpty())
        throw pgError(VdbCode::InvalidArgument, problem);
    if (!mayCreateRoles(core_->connection()))
        refuseRoles(core_->connection());
}

// The user commands act on the database's own users only: a role that is none of them belongs
// to somebody else on the server.
void PgAdmin::requireUser(const QString& name) {
    for (const PgUser& user : databaseUsers(core_->connection(), core_->roles())) {
        if (user.name == name)
            return;
    }
    throw pgError(VdbCode::UnknownUser, u"\""_s + name + u"\" is not a user of this database"_s);
}

void PgAdmin::addUser(const QString& name, const QString& password, bool databaseAdmin,
                      bool userAdmin) {
    requireCreateRole(name);
    inTransaction([&](PgConnection& db) {
        if (roleExists(db, name))
            throw pgError(VdbCode::AlreadyExists, u"the role "_s + name + u" already exists"_s);
        db.exec(u"CREATE ROLE "_s + pgQuote(name) + u" LOGIN"_s +
                passwordClause(db, name, password));
        markCreatedUser(db, name);
        ::setRights(db, core_->roles(), name, databaseAdmin, userAdmin);
    });
}

void PgAdmin::setPassword(const QString& name, const QString& password) {
    requireCreateRole(name);
    inTransaction([&](PgConnection& db) {
        requireUser(name);
        refuseOtherDatabaseUser(db, core_->roles(), name);
        db.exec(u"ALTER ROLE "_s + pgQuote(name) + passwordClause(db, name, password));
    });
}

// A role of the server that is not yet a user becomes one.
void PgAdmin::setRights(const QString& name, bool databaseAdmin, bool userAdmin) {
    requireCreateRole(name);
    inTransaction([&](PgConnection& db) {
        if (!roleExists(db, name))
            throw pgError(VdbCode::UnknownUser, u"there is no role "_s + name);
        refuseOtherDatabaseUser(db, core_->roles(), name);
        ::setRights(db, core_->roles(), name, databaseAdmin, userAdmin);
    });
}

// The role leaves the database's roles; it is dropped only when Telnormer created it, it is then
// nobody's member and nothing on the server depends on it (another database's rights, objects
// it owns).
void PgAdmin::removeUser(const QString& name) {
    requireCreateRole(name);
    inTransaction([&](PgConnection& db) {
        requireUser(name);
        const PgRoles& roles = core_->roles();
        for (const QString& role : {roles.users, roles.databaseAdmins, roles.userAdmins})
            db.exec(u"REVOKE "_s + pgQuote(role) + u" FROM "_s + pgQuote(name));
        const bool plain =
            db.exec(u"SELECT NOT (r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR "
                    "r.rolreplication OR r.rolbypassrls) AND NOT EXISTS (SELECT 1 FROM "
                    "pg_catalog.pg_auth_members m WHERE m.member = r.oid) AND coalesce("
                    "pg_catalog.shobj_description(r.oid, 'pg_authid') = 'Telnormer user', false) "
                    "FROM pg_catalog.pg_roles r WHERE r.rolname = $1"_s,
                    {name})
                .text(0, 0) == u"t"_s;
        if (!plain)
            return;
        db.exec(u"SAVEPOINT vdb_drop"_s);
        if (PQresultStatus(db.execRaw(u"DROP ROLE "_s + pgQuote(name)).handle()) ==
            PGRES_COMMAND_OK)
            db.exec(u"RELEASE SAVEPOINT vdb_drop"_s);
        else
            db.exec(u"ROLLBACK TO SAVEPOINT vdb_drop"_s);
    });
}

QStringList pgRolesTaken(const QString& uri, const QStringList& users) {
    PgConnection db(uri, {}, {});
    const PgRoles roles = pgRolesOf(db.databaseName());
    QStringList taken;
    for (const QString& user : users) {
        if (!roleExists(db, user))
            continue;
        refuseOtherDatabaseUser(db, roles, user);
        taken << user;
    }
    return taken;
}

QList<PgAdmin::UserInfo> PgAdmin::users() {
    QList<UserInfo> users;
    for (const PgUser& user : databaseUsers(core_->connection(), core_->roles()))
        users.append({user.name, user.databaseAdmin, user.userAdmin});
    return users;
}

void PgAdmin::setLocation(const QString& country, const QString& areaCode) {
    DatabaseSchema check;
    check.country = country;
    check.areaCode = areaCode;
    validateSchema(check);
    inTransaction([&](PgConnection& db) {
        db.exec(u"UPDATE telnormer.vdb_info SET value = $1 WHERE key = 'country'"_s, {country});
        db.exec(u"UPDATE telnormer.vdb_info SET value = $1 WHERE key = 'area_code'"_s, {areaCode});
    });
}

qint64 PgAdmin::recordCount(const QString& table) {
    return core_->recordCount(core_->tableIndex(table));
}

qint64 PgAdmin::markedCount(const QString& table) {
    return core_->markedCount(core_->tableIndex(table));
}
