#include "VdbCreate.h"

#include "Sqlite.h"
#include "VdbCatalogueSql.h"
#include "VdbErrors.h"
#include "VdbFormat.h"
#include "VdbSchemaCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString createTableSql(const TableSchema& table) {
    QStringList columns{quoteIdentifier(QString::fromUtf16(kRowIdColumn)) +
                        u" INTEGER PRIMARY KEY"_s};
    for (qsizetype i = 0; i < table.fields.size(); ++i) {
        const FieldSchema& field = table.fields[i];
        QString column = quoteIdentifier(field.name) + u' ' + sqlColumnType(field.type);
        if (!field.condition.trimmed().isEmpty())
            column += u" CONSTRAINT "_s + quoteIdentifier(u"vdb_ck_"_s + QString::number(i)) +
                      u" CHECK ("_s + field.condition + u')';
        columns << column;
    }
    return u"CREATE TABLE "_s + quoteIdentifier(table.name) + u" ("_s + columns.join(u", "_s) +
           u") STRICT"_s;
}

void insertRow(SqliteConnection& db, const QString& sql, const QVariantList& values) {
    auto statement = db.prepare(sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        statement->bind(static_cast<int>(i + 1), values[i]);
    statement->step();
}

void writeCatalogue(SqliteConnection& db, const DatabaseSchema& schema, PasswordCost cost) {
    db.exec(QString::fromUtf16(kCatalogueSql));
    const QString info = u"INSERT INTO vdb_info(key, value) VALUES (?, ?)"_s;
    insertRow(db, info, {u"name"_s, schema.name});
    insertRow(db, info, {u"country"_s, schema.country});
    insertRow(db, info, {u"area_code"_s, schema.areaCode});
    for (const UserSchema& user : schema.users) {
        insertRow(db,
                  u"INSERT INTO vdb_users(name, folded, hash, database_admin, user_admin) "
                  "VALUES (?, ?, ?, ?, ?)"_s,
                  {user.name, foldUserName(user.name), hashPassword(user.password, cost),
                   user.databaseAdmin ? 1 : 0, user.userAdmin ? 1 : 0});
    }
    qint64 tableId = 0;
    for (const TableSchema& table : schema.tables) {
        ++tableId;
        insertRow(db, u"INSERT INTO vdb_tables(id, name, caption) VALUES (?, ?, ?)"_s,
                  {tableId, table.name, table.caption});
        // One statement only: a condition must not be able to smuggle in another.
        db.prepare(createTableSql(table))->step();
        // The condition must read as one complete expression over the new table's columns.
        for (const FieldSchema& field : table.fields) {
            if (field.condition.trimmed().isEmpty())
                continue;
            try {
                db.prepare(u"SELECT ("_s + field.condition + u") FROM "_s +
                           quoteIdentifier(table.name));
            } catch (const ErrorRecord& e) {
                throw vdbError(VdbCode::SchemaInvalid, u"condition of field "_s + field.name +
                                                           u" is not a valid expression: "_s +
                                                           e.description());
            }
        }
        writeTableRows(
            tableId, table,
            {[&](const QString& sql, const QVariantList& values) { insertRow(db, sql, values); },
             [&](const QString& sql) { db.prepare(sql)->step(); },
             {}});
    }
}

} // namespace

void createVdbFile(const QString& path, const DatabaseSchema& schema, PasswordCost cost) {
    validateSchema(schema);
    const QFileInfo target(path);
    if (target.exists() || target.isSymLink())
        throw vdbError(VdbCode::AlreadyExists, u"the file already exists: "_s + path);

    // Built under a temporary name beside the target and linked into place at the end, so that
    // a failure leaves nothing and an existing file is never replaced.
    QTemporaryFile scratch(target.absolutePath() + u"/."_s + target.fileName() + u".XXXXXX"_s);
    if (!scratch.open())
        throw vdbError(VdbCode::NotReadable, u"cannot create a file in "_s + target.absolutePath() +
                                                 u": "_s + scratch.errorString());
    scratch.close();
    {
        SqliteConnection db;
        const int rc = db.open(scratch.fileName(), SQLITE_OPEN_READWRITE);
        if (rc != SQLITE_OK)
            throwSqlite(db.handle(), rc, u"create "_s + path);
        db.exec(u"PRAGMA application_id = "_s + QString::number(VdbFormat::kApplicationId) +
                u"; PRAGMA user_version = "_s + QString::number(VdbFormat::kVersion) +
                u"; PRAGMA journal_mode = WAL; PRAGMA foreign_keys = ON"_s);
        db.exec(u"BEGIN"_s);
        writeCatalogue(db, schema, cost);
        db.exec(u"COMMIT"_s);
    }
    const QByteArray from = QFile::encodeName(scratch.fileName());
    const QByteArray to = QFile::encodeName(target.absoluteFilePath());
    if (::link(from.constData(), to.constData()) == 0)
        return;
    // Some file systems refuse hard links; rename never replaces an existing file either.
    if (QFileInfo::exists(path) || !QFile::rename(scratch.fileName(), target.absoluteFilePath()))
        throw vdbError(VdbCode::AlreadyExists, u"cannot create "_s + path);
}
