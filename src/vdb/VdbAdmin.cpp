#include "VdbAdmin.h"

#include "Sqlite.h"
#include "VdbCatalogueSql.h"
#include "VdbCore.h"
#include "VdbCreate.h"
#include "VdbErrors.h"
#include "VdbServer.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// Runs body inside one transaction of db; rolls back on any failure.
template <class Body>
auto inTransaction(SqliteConnection& db, Body body) {
    db.exec(u"BEGIN IMMEDIATE"_s);
    try {
        auto result = body();
        db.exec(u"COMMIT"_s);
        return result;
    } catch (...) {
        if (sqlite3_get_autocommit(db.handle()) == 0)
            db.exec(u"ROLLBACK"_s);
        throw;
    }
}

} // namespace

VdbAdmin::VdbAdmin(const QString& path, int busyTimeoutMs)
    : core_(openVdbCore(path, busyTimeoutMs)) {
    // Bulk inserts into big indexes thrash SQLite's default 2 MB page cache.
    core_->connection().exec(u"PRAGMA cache_size = -65536"_s);
}

VdbAdmin::~VdbAdmin() = default;

const Catalogue& VdbAdmin::catalogue() const {
    return core_->catalogue();
}

int VdbAdmin::tableIndex(const QString& table) const {
    return core_->tableIndex(table);
}

void VdbAdmin::exec(const QString& sql, const QVariantList& values) {
    auto statement = core_->connection().prepare(sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        statement->bind(static_cast<int>(i + 1), values[i]);
    statement->step();
}

VdbAdmin::Inserter::Inserter(VdbAdmin& admin, const QString& table, const QStringList& fields)
    : admin_(admin)
    , table_(admin.tableIndex(table)) {
    QStringList columns;
    QStringList marks;
    for (const QString& name : fields) {
        const int f = admin_.core_->fieldIndex(table_, name);
        if (fields_.contains(f))
            throw vdbError(VdbCode::InvalidArgument,
                           u"The field \""_s + name + u"\" is given twice."_s);
        fields_ << f;
        columns << quoteIdentifier(name);
        marks << u"?"_s;
    }
    QString sql = u"INSERT INTO "_s + quoteIdentifier(table) + u" DEFAULT VALUES"_s;
    if (!columns.isEmpty())
        sql = u"INSERT INTO "_s + quoteIdentifier(table) + u" ("_s + columns.join(u", "_s) +
              u") VALUES ("_s + marks.join(u", "_s) + u')';
    insert_ = admin_.core_->connection().prepare(sql);
    admin_.core_->connection().exec(u"BEGIN IMMEDIATE"_s);
    open_ = true;
}

VdbAdmin::Inserter::~Inserter() {
    insert_.reset();
    if (open_)
        sqlite3_exec(admin_.core_->connection().handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void VdbAdmin::Inserter::add(const QVariantList& values) {
    ++count_;
    // Built only for an error: this runs for every row of a bulk import.
    const auto row = [this]() -> QString {
        return u"row "_s + QString::number(count_) + u": "_s;
    };
    if (values.size() != fields_.size())
        throw vdbError(VdbCode::InvalidArgument,
                       row() + u"has "_s + QString::number(values.size()) + u" values for "_s +
                           QString::number(fields_.size()) + u" fields."_s);
    StatementScope scope(*insert_);
    for (qsizetype i = 0; i < values.size(); ++i) {
        try {
            insert_->bind(static_cast<int>(i + 1),
                          admin_.core_->storedValue(table_, fields_[i], values[i]));
        } catch (const ErrorRecord& e) {
            throw ErrorRecord(e.number(), row() + e.description(), e.source());
        }
    }
    const int rc = insert_->stepRaw();
    if (rc != SQLITE_DONE) {
        try {
            admin_.core_->throwWriteFailure(table_, rc);
        } catch (const ErrorRecord& e) {
            throw ErrorRecord(e.number(), row() + e.description(), e.source());
        }
    }
}

void VdbAdmin::Inserter::commit() {
    admin_.core_->connection().exec(u"COMMIT"_s);
    open_ = false;
}

void VdbAdmin::insertRows(const QString& table, const QStringList& fields,
                          const QList<QVariantList>& rows) {
    Inserter inserter(*this, table, fields);
    for (const QVariantList& row : rows)
        inserter.add(row);
    inserter.commit();
}

qint64 VdbAdmin::mark(const QString& table, const QStringList& ids, bool on) {
    const int t = tableIndex(table);
    const int idField = core_->fieldIndex(t, u"ID"_s);
    const QString rid = QString::fromUtf16(kRowIdColumn);
    const QString tableId = QString::number(core_->catalogue().tables[t].id);
    const QString sql =
        on ? QString(u"INSERT OR IGNORE INTO vdb_marks(table_id, rid) SELECT "_s + tableId +
                     u", "_s + rid + u" FROM "_s + quoteIdentifier(table) + u" WHERE \"ID\" = ?"_s)
           : QString(u"DELETE FROM vdb_marks WHERE table_id = "_s + tableId +
                     u" AND rid IN (SELECT "_s + rid + u" FROM "_s + quoteIdentifier(table) +
                     u" WHERE \"ID\" = ?)"_s);
    SqliteConnection& db = core_->connection();
    return inTransaction(db, [&] {
        auto statement = db.prepare(sql);
        qint64 changed = 0;
        for (const QString& id : ids) {
            StatementScope scope(*statement);
            statement->bind(1, core_->storedValue(t, idField, id));
            statement->step();
            changed += sqlite3_changes64(db.handle());
        }
        return changed;
    });
}

qint64 VdbAdmin::markAll(const QString& table, bool on) {
    const int t = tableIndex(table);
    const QString tableId = QString::number(core_->catalogue().tables[t].id);
    SqliteConnection& db = core_->connection();
    return inTransaction(db, [&] {
        if (on)
            exec(u"INSERT OR IGNORE INTO vdb_marks(table_id, rid) SELECT "_s + tableId + u", "_s +
                 QString::fromUtf16(kRowIdColumn) + u" FROM "_s + quoteIdentifier(table));
        else
            exec(u"DELETE FROM vdb_marks WHERE table_id = "_s + tableId);
        return static_cast<qint64>(sqlite3_changes64(db.handle()));
    });
}

void VdbAdmin::addUser(const QString& name, const QString& password, bool databaseAdmin,
                       bool userAdmin, PasswordCost cost) {
    DatabaseSchema check;
    check.users << UserSchema{name, password, databaseAdmin, userAdmin};
    validateSchema(check);
    SqliteConnection& db = core_->connection();
    inTransaction(db, [&] {
        auto find = db.prepare(u"SELECT 1 FROM vdb_users WHERE folded = ?"_s);
        find->bindText(1, foldUserName(name));
        if (find->step())
            throw vdbError(VdbCode::AlreadyExists,
                           u"The user \""_s + name + u"\" exists already."_s);
        exec(u"INSERT INTO vdb_users(name, folded, hash, database_admin, user_admin) "
             "VALUES (?, ?, ?, ?, ?)"_s,
             {name, foldUserName(name), hashPassword(password, cost), databaseAdmin ? 1 : 0,
              userAdmin ? 1 : 0});
        return 0;
    });
}

namespace {

void requireOneChange(sqlite3* db, const QString& name) {
    if (sqlite3_changes64(db) == 0)
        throw vdbError(VdbCode::UnknownUser,
                       u"The database does not know the user \""_s + name + u"\"."_s);
}

} // namespace

void VdbAdmin::setPassword(const QString& name, const QString& password, PasswordCost cost) {
    SqliteConnection& db = core_->connection();
    inTransaction(db, [&] {
        exec(u"UPDATE vdb_users SET hash = ? WHERE folded = ?"_s,
             {hashPassword(password, cost), foldUserName(name)});
        requireOneChange(db.handle(), name);
        return 0;
    });
}

void VdbAdmin::setRights(const QString& name, bool databaseAdmin, bool userAdmin) {
    SqliteConnection& db = core_->connection();
    inTransaction(db, [&] {
        exec(u"UPDATE vdb_users SET database_admin = ?, user_admin = ? WHERE folded = ?"_s,
             {databaseAdmin ? 1 : 0, userAdmin ? 1 : 0, foldUserName(name)});
        requireOneChange(db.handle(), name);
        return 0;
    });
}

void VdbAdmin::removeUser(const QString& name) {
    SqliteConnection& db = core_->connection();
    inTransaction(db, [&] {
        exec(u"DELETE FROM vdb_users WHERE folded = ?"_s, {foldUserName(name)});
        requireOneChange(db.handle(), name);
        return 0;
    });
}

QList<VdbAdmin::UserInfo> VdbAdmin::users() {
    QList<UserInfo> result;
    auto list = core_->connection().prepare(
        u"SELECT name, database_admin, user_admin FROM vdb_users ORDER BY id"_s);
    while (list->step())
        result << UserInfo{list->text(0), list->integer(1) != 0, list->integer(2) != 0};
    return result;
}

void VdbAdmin::setLocation(const QString& country, const QString& areaCode) {
    DatabaseSchema check;
    check.country = country;
    check.areaCode = areaCode;
    validateSchema(check);
    SqliteConnection& db = core_->connection();
    inTransaction(db, [&] {
        exec(u"INSERT OR REPLACE INTO vdb_info(key, value) VALUES ('country', ?)"_s, {country});
        exec(u"INSERT OR REPLACE INTO vdb_info(key, value) VALUES ('area_code', ?)"_s, {areaCode});
        return 0;
    });
}

qint64 VdbAdmin::recordCount(const QString& table) {
    return core_->recordCount(tableIndex(table));
}

qint64 VdbAdmin::markedCount(const QString& table) {
    return core_->markedCount(tableIndex(table));
}
