#include "Sqlite.h"

#include "VdbErrors.h"

#include <QByteArray>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

void throwSqlite(sqlite3* db, int rc, const QString& context) {
    const int primary = rc & 0xFF;
    const QString message = db != nullptr ? QString::fromUtf8(sqlite3_errmsg(db))
                                          : QString::fromUtf8(sqlite3_errstr(rc));
    QString description = context + u": "_s + message;
    // "disk I/O error" alone hides the cause the system gave, such as a full disk.
    const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
    if (systemError != 0 &&
        (primary == SQLITE_IOERR || primary == SQLITE_FULL || primary == SQLITE_CANTOPEN))
        description += u" ("_s + QString::fromLocal8Bit(std::strerror(systemError)) + u')';
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw vdbError(VdbCode::Locked, description);
    if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
        throw vdbError(VdbCode::NotADatabase, description);
    throw vdbError(VdbCode::StorageFailure, description);
}

SqliteConnection::~SqliteConnection() {
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
}

int SqliteConnection::open(const QString& filename, int flags) {
    const QByteArray name = filename.toUtf8();
    const int rc = sqlite3_open_v2(name.constData(), &db_, flags, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db_, 1);
        // A misspelt "name" must be an error, not a text literal that makes a condition
        // always true.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
        // A file is outside input: what its schema holds may not run functions with side
        // effects, nor may SQL corrupt it on purpose.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    }
    return rc;
}

void SqliteConnection::exec(const QString& sql) {
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_exec(db_, text.constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throwSqlite(db_, rc, sql.left(80));
}

QString SqliteConnection::message() const {
    return QString::fromUtf8(sqlite3_errmsg(db_));
}

std::unique_ptr<SqliteStatement> SqliteConnection::prepare(const QString& sql, bool persistent) {
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db_, text.constData(), static_cast<int>(text.size()),
                                      persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, &tail);
    if (rc != SQLITE_OK)
        throwSqlite(db_, rc, sql.left(80));
    auto statement = std::make_unique<SqliteStatement>(db_, stmt);
    if (stmt == nullptr || QByteArray(tail).trimmed().size() != 0)
        throw vdbError(VdbCode::StorageFailure, u"not exactly one statement: "_s + sql.left(80));
    return statement;
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::bindText(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text64(stmt_, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SqliteStatement::bindInt(int index, qint64 value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::bind(int index, const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(stmt_, index);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        sqlite3_bind_int64(stmt_, index, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt_, index, value.toDouble());
        return;
    default:
        bindText(index, value.toString());
    }
}

int SqliteStatement::stepRaw() {
    return sqlite3_step(stmt_);
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throwSqlite(db_, rc, QString::fromUtf8(sqlite3_sql(stmt_)).left(80));
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
}

void SqliteStatement::clear() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

QByteArrayView SqliteStatement::bytes(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return {data, sqlite3_column_bytes(stmt_, column)};
}

QString SqliteStatement::text(int column) const {
    return decodeUtf8(bytes(column), nullptr);
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

QVariant SqliteStatement::value(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt_, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, column));
    default: {
        bool valid = false;
        const QByteArrayView stored = bytes(column);
        QString decoded = decodeUtf8(stored, &valid);
        if (!valid)
            return QVariant(stored.toByteArray());
        return QVariant(std::move(decoded));
    }
    }
}
