#pragma once

#include "SqlText.h"

#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <memory>

// Thin RAII over the SQLite C API. Every failure becomes a server error (StorageFailure unless
// the caller maps the result code itself).

class SqliteStatement;

class SqliteConnection {
public:
    SqliteConnection() = default;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;
    ~SqliteConnection();

    // Opens filename with SQLite open flags; returns the SQLite result code (no throw).
    int open(const QString& filename, int flags);
    sqlite3* handle() const { return db_; }
    // Runs one or more statements without results.
    void exec(const QString& sql);
    // The last error message of the connection.
    QString message() const;
    // Compiles one statement; trailing text after it is refused.
    std::unique_ptr<SqliteStatement> prepare(const QString& sql, bool persistent = false);

private:
    sqlite3* db_ = nullptr;
};

class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt)
        : db_(db)
        , stmt_(stmt) {}
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    ~SqliteStatement();

    void bind(int index, const QVariant& value);
    void bindText(int index, const QString& text);
    void bindInt(int index, qint64 value);
    // Steps once; true when a row is ready, false when done. Other results throw.
    bool step();
    // Steps once and hands back the raw SQLite result code.
    int stepRaw();
    void reset();
    // Resets and clears the bindings.
    void clear();

    // Null, integer, double or text; a text whose stored bytes are not valid UTF-8 comes back
    // as those bytes (QByteArray), so that nobody mistakes a replacement character for it.
    QVariant value(int column) const;
    // The text of a column (invalid UTF-8 replaced); a leading U+FEFF is kept.
    QString text(int column) const;
    qint64 integer(int column) const;
    bool isNull(int column) const;
    sqlite3_stmt* handle() const { return stmt_; }

private:
    QByteArrayView bytes(int column) const;

    sqlite3* db_;
    sqlite3_stmt* stmt_;
};

// Resets a statement when the scope ends, whatever happens: no read stays open.
class StatementScope {
public:
    explicit StatementScope(SqliteStatement& statement)
        : statement_(statement) {}
    StatementScope(const StatementScope&) = delete;
    StatementScope& operator=(const StatementScope&) = delete;
    ~StatementScope() { statement_.clear(); }

private:
    SqliteStatement& statement_;
};

// Throws the storage error for result code rc with the connection's message.
[[noreturn]] void throwSqlite(sqlite3* db, int rc, const QString& context);
