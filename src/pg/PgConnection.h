#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <libpq-fe.h>

#include <memory>
#include <utility>
#include <vector>

// Thin RAII over libpq. Every statement goes through the extended protocol (one statement per
// call, values as bound parameters in text form); every failure becomes a server error.

class PgResult {
public:
    explicit PgResult(PGresult* result = nullptr)
        : result_(result) {}
    PgResult(PgResult&& other) noexcept
        : result_(other.result_) {
        other.result_ = nullptr;
    }
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
    ~PgResult();

    PGresult* handle() const { return result_; }
    int rows() const { return PQntuples(result_); }
    bool isNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
    QString text(int row, int column) const;
    qint64 integer(int row, int column) const;
    // The value in the form the engines keep: integers, doubles, texts (dates as ISO texts).
    QVariant value(int row, int column) const;
    // Rows the command changed.
    qint64 affected() const;

private:
    PGresult* result_;
};

class PgConnection {
public:
    // Connects with the URI; user and password (when not empty) take the place of the URI's.
    // Fails with the login's server errors (user, password, cannot connect).
    PgConnection(const QString& uri, const QString& user, const QString& password);
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;
    ~PgConnection();

    PGconn* handle() const { return conn_; }
    // Runs one statement with parameters; a failure throws through throwFailure.
    PgResult exec(const QString& sql, const QVariantList& params = {});
    // Runs one statement and hands back the result whatever its status (no throw).
    PgResult execRaw(const QString& sql, const QVariantList& params = {});
    // Sends the statements in one round trip (pipeline) and hands back one result each, whatever
    // its status; after a failure the server skips the rest (PGRES_PIPELINE_ABORTED). A statement
    // of empty SQL has no result: it asks the server to send what it has answered so far before
    // it runs the next one.
    std::vector<PgResult> pipeline(const QList<std::pair<QString, QVariantList>>& statements);
    // Opens a transaction with the next statement sent, in its round trip; inside it the
    // server finds records by key, never by reading the table whole.
    void beginLater() { beginPending_ = true; }
    // True while the transaction beginLater opened has sent nothing yet; clears the mark, and
    // rolls back a transaction begun ahead that nobody took (a failed one holds what it locked).
    bool takeUnsentBegin();
    bool beginUnsent() const { return beginPending_; }
    // Sends sql (a ROLLBACK TO SAVEPOINT after a failure) ahead of the next statement, in its
    // round trip; until then the transaction stays failed.
    void restoreWithNext(const QString& sql) { restore_ << sql; }
    bool restorePending() const { return !restore_.isEmpty(); }
    void dropRestore() { restore_.clear(); }
    // BEGIN and the settings of a batch's transaction: it finds its records by their keys, as a
    // table the server holds small, or has not analysed yet, would otherwise be read whole for
    // every batch.
    static QList<std::pair<QString, QVariantList>> beginning() {
        return {{QStringLiteral("BEGIN"), {}},
                {QStringLiteral("SET LOCAL enable_seqscan = off"), {}}};
    }
    // Sends a held-back BEGIN now (before statements that bypass exec and pipeline).
    void sendPendingBegin();
    // The open transaction was begun ahead of its caller's Begin: until adoptAhead takes it,
    // it does not count as open, and the next statement rolls it back first.
    void openedAhead() { ahead_ = true; }
    // True when a transaction begun ahead is open and healthy; it is then the caller's.
    bool adoptAhead();
    bool inTransaction() const;
    // Throws ConnectionLost when libpq knows the connection is gone.
    void requireConnection() const;
    // Throws the server error for a failed result: lock, connection, type, storage.
    [[noreturn]] void throwFailure(const PgResult& result, const QString& context) const;
    // The database name the connection uses.
    QString databaseName() const { return QString::fromUtf8(PQdb(conn_)); }
    // The results that came before the connection was lost in the last pipeline.
    std::vector<PgResult> takeAnswered() { return std::exchange(answered_, {}); }

private:
    // libpq's last word on the connection.
    QString message() const { return QString::fromUtf8(PQerrorMessage(conn_)).trimmed(); }
    std::vector<PgResult> send(const QList<std::pair<QString, QVariantList>>& statements);

    PGconn* conn_ = nullptr;
    bool beginPending_ = false;
    bool ahead_ = false;
    // Statements sent more than once are parsed and planned once a connection, under a name.
    QHash<QByteArray, QByteArray> prepared_; // text -> name, once the server took it
    QHash<QByteArray, int> seen_;            // text -> times sent unnamed
    quint64 named_ = 0;
    QStringList restore_;
    std::vector<PgResult> answered_;
};

// The SQLSTATE of a failed result, or empty.
QString sqlState(const PgResult& result);
// Quotes an identifier for SQL ("a""b").
QString pgQuote(const QString& name);
// A value's text form as a bound parameter; a null QByteArray for Null.
QByteArray pgParameter(const QVariant& value);
