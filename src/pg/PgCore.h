#pragma once

#include "ConditionJudge.h"
#include "CursorCore.h"
#include "PgCatalogue.h"
#include "PgConnection.h"

#include <memory>
#include <optional>
#include <vector>

// One open database on a PostgreSQL server: the connection, the catalogue, every table's cursor
// and edit buffer. The interface objects are the same thin handles as for a .vdb file.
class PgCore : public CursorCore {
public:
    // judges: how the field conditions are judged without the server; none holds every write
    // of a table with conditions to its own round trip.
    PgCore(std::unique_ptr<PgConnection> db, QString shownUri, PgCatalogue catalogue, Login login,
           ConditionJudges judges = nullptr);
    ~PgCore() override;

    PgConnection& connection() { return *db_; }
    const PgRoles& roles() const { return roles_; }

    qint32 recordCount(int t) override;
    qint32 markedCount(int t) override;
    void update(int t) override;
    void checkUpdate(int t) override;

    void begin() override;
    void commit() override;
    void commitBeforeBegin() override;
    void rollback() override;

    // Also refuses a text with NUL, which a server's text cannot hold.
    QVariant storedValue(int t, int field, const QVariant& value) const override;
    // Throws the server error for a failed write of table t (condition, type, lock, storage).
    [[noreturn]] void throwWriteFailure(int t, const PgResult& result);

private:
    // The row id column every product table has.
    static inline const QString kRowId = QStringLiteral("vdb_rid");

    struct Row {
        qint64 rid = 0;
        std::vector<QVariant> values;
        quint64 locked = 0; // the transaction that read it FOR UPDATE (0: none)
    };
    struct Cursor : Visit {
        std::vector<Row> page;
        Row current;
    };
    // The table's CHECK expressions as the server holds them, evaluated over bound values.
    struct CheckPlan {
        bool loaded = false;
        QString sql;
        std::vector<int> columns; // a field per parameter; -1 for the row id
        std::vector<int> fields;  // the field a constraint guards; -1 for another constraint
    };

    Visit& visitOf(int t) override { return cursors_[t]; }
    void clearPage(int t) override { cursors_[t].page.clear(); }
    void readOrder(int t, VisitOrder& order) override;
    void advance(int t) override;
    QList<QVariantList> readAheadAt(int t, const std::vector<int>& fields, qint32 count) override;
    bool loadCurrent(int t) override;
    qint64 currentId(int t) override { return cursors_[t].current.rid; }
    const QVariant& currentValue(int t, int f) override { return cursors_[t].current.values[f]; }
    QString notText() const override { return QStringLiteral("text the database can send"); }
    // What a write held back for the commit needs to know of a table: whether anything but the
    // field conditions could refuse it, and the conditions to judge it by here.
    struct WritePlan {
        bool loaded = false;
        bool plain = false;      // no trigger, rule, policy, other CHECK or generated column
        std::vector<bool> risky; // per field: unique, foreign key, domain, length limit
        std::unique_ptr<ConditionJudge> judge; // null: nothing to judge, or cannot
        bool judged = true;                    // false: the conditions cannot be judged here
    };
    // A write held back for the batch's commit.
    struct Deferred {
        int table;
        qint64 rid;
        std::vector<int> fields; // written, with their new and their old values
        QVariantList values;
        QVariantList olds;
    };
    QString columns(int t) const;
    // Row ids as an array parameter.
    static QString idArray(const std::vector<qint64>& ids);
    bool fetchPage(int t);
    PgResult guardedRead(const QString& sql, const QVariantList& params);
    std::vector<Row> readRows(int t, const QString& from, const QVariantList& params,
                              bool lock = false);
    Row rowOf(int t, const PgResult& result, int r) const;
    Cursor& positioned(int t);
    const CheckPlan& checkPlan(int t);
    PgResult guardedWrite(int t, const QString& savepoint, const QString& sql,
                          const QVariantList& params, ExecStatusType expected);
    [[noreturn]] void throwConditionViolated(int t, int f, const QString& serverText);
    std::vector<qint64> upcomingRows(int t, qint32 count);
    WritePlan& writePlan(int t);
    // How the current record's write goes: held back for the commit, or sent at once.
    enum class WriteWay { Send, HoldBack };
    WriteWay writeWay(int t, const Cursor& cursor);
    // Sends the held-back writes ahead of statements, in one round trip; a failed one throws
    // (and leaves the transaction failed). The statements' results come back.
    std::vector<PgResult> withWrites(const QList<std::pair<QString, QVariantList>>& statements);
    void flushWrites();
    void endTransaction(bool thenBegin);
    void sendCommit(bool thenBegin);
    // The records the visit of the table last read ahead reaches next, as many as it read then;
    // empty when the page does not hold them all.
    std::vector<qint64> nextAhead(int& t) const;
    // A commit whose answer went with the connection: what the server did, as far as it can
    // be found out.
    [[noreturn]] void throwLostCommit(const ErrorRecord& lost, std::vector<PgResult> answered,
                                      int backendPid);
    void forgetReads();
    std::pair<QString, QVariantList> groupedWrite(const std::vector<Deferred>& writes, size_t from,
                                                  size_t to) const;
    [[noreturn]] void throwDeferredFailure(int t, const PgResult& result);

    std::unique_ptr<PgConnection> db_;
    PgRoles roles_;
    std::vector<Cursor> cursors_;
    std::vector<CheckPlan> checks_;
    std::vector<WritePlan> writePlans_;
    ConditionJudges judges_;
    std::vector<Deferred> deferred_;
    // Records read and locked ahead, in the transaction begun with the last commit.
    struct Ahead {
        int table = -1;
        std::vector<qint64> ids;
        std::vector<Row> rows;
        quint64 transaction = 0; // the transaction that took them; 0 until begin
    };
    Ahead ahead_;
    int lastAheadTable_ = -1;
    qint32 lastAheadCount_ = 0;
    QString encoding_;
    quint64 transaction_ = 0; // counts the transactions begun; 0 outside one
    bool wrote_ = false;      // the open transaction sent or held back a write
    QByteArray serverId_;     // the cluster's system identifier; empty: a lost commit is unknown
    quint64 serial_ = 0;
};
