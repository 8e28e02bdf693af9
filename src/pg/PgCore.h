#pragma once

#include "EngineCore.h"
#include "PgCatalogue.h"
#include "PgConnection.h"
#include "Sqlite.h"

#include <QTemporaryFile>

#include <memory>
#include <optional>
#include <vector>

// One open database on a PostgreSQL server: the connection, the catalogue, every table's cursor
// and edit buffer. The interface objects are the same thin handles as for a .vdb file.
class PgCore : public EngineCore, public std::enable_shared_from_this<PgCore> {
public:
    PgCore(std::unique_ptr<PgConnection> db, QString shownUri, PgCatalogue catalogue, Login login);
    ~PgCore() override;

    const QString& fileName() const override { return fileName_; }
    const Catalogue& catalogue() const override { return catalogue_.catalogue; }
    const Login& login() const override { return login_; }
    PgConnection& connection() { return *db_; }
    const PgCatalogue& pgCatalogue() const { return catalogue_; }

    std::shared_ptr<Table> tableHandle(int t) override;
    int tableIndex(const QString& name) const override;
    int fieldIndex(int t, const QString& name) const override;

    qint32 recordCount(int t) override;
    qint32 markedCount(int t) override;
    void activateIndex(int t, int index) override;
    void setShowMarked(int t, bool on) override;
    void setShowUnmarked(int t, bool on) override;
    void moveFirst(int t) override;
    void skip(int t, qint32 count) override;
    bool eof(int t) override;
    QString recordId(int t) override;
    QVariant value(int t, int field) override;
    QList<QVariantList> readAhead(int t, const std::vector<int>& fields, qint32 count) override;
    void setValue(int t, int field, const QVariant& value) override;
    void update(int t) override;
    void checkUpdate(int t) override;

    void begin() override;
    void commit() override;
    void rollback() override;

    // value converted to what field f of table t stores; fails with TypeMismatch.
    QVariant storedValue(int t, int field, const QVariant& value) const;
    // Throws the server error for a failed write of table t (condition, type, lock, storage).
    [[noreturn]] void throwWriteFailure(int t, const PgResult& result);

private:
    struct Row {
        qint64 rid = 0;
        std::vector<QVariant> values;
        quint64 locked = 0; // the transaction that read it FOR UPDATE (0: none)
    };
    struct Cursor {
        int activeIndex = -1;
        bool showMarked = true;
        bool showUnmarked = true;
        bool eof = true;
        bool pending = false;
        // The visit order of an index, as row ids in a temporary file; none for row-id order.
        std::unique_ptr<QTemporaryFile> order;
        qint64 orderCount = 0;
        qint64 orderPosition = 0;
        qint64 lastKey = 0;
        bool exhausted = true;
        std::vector<Row> page;
        size_t pagePosition = 0;
        bool loaded = false;
        Row current;
        std::vector<std::optional<QVariant>> edits;
        bool dirty = false;
    };
    // The table's CHECK expressions as the server holds them, evaluated over bound values.
    struct CheckPlan {
        bool loaded = false;
        QString sql;
        std::vector<int> columns; // a field per parameter; -1 for the row id
        std::vector<int> fields;  // the field a constraint guards; -1 for another constraint
    };

    // What a write held back for the commit needs to know of a table: whether anything but the
    // field conditions could refuse it, and the conditions to judge it by here.
    struct WritePlan {
        bool loaded = false;
        bool plain = false;      // no trigger, rule, policy, other CHECK or generated column
        std::vector<bool> risky; // per field: unique, foreign key, domain, length limit
        std::unique_ptr<SqliteConnection> judge;
        std::unique_ptr<SqliteStatement> conditions; // null: nothing to judge, or cannot
        bool judged = true;                          // false: the conditions cannot be judged here
    };
    // A write held back for the batch's commit.
    struct Deferred {
        int table;
        qint64 rid;
        std::vector<int> fields; // written, with their new and their old values
        QVariantList values;
        QVariantList olds;
    };

    const TableDef& table(int t) const { return catalogue_.catalogue.tables[t]; }
    QString columns(int t) const;
    QString visitFilter(int t) const;
    void buildSnapshot(int t);
    bool fetchPage(int t);
    PgResult guardedRead(const QString& sql, const QVariantList& params);
    std::vector<Row> readRows(int t, const QString& from, const QVariantList& params,
                              bool lock = false);
    Row rowOf(int t, const PgResult& result, int r) const;
    void advance(int t);
    void startIfPending(int t);
    void dropEdits(Cursor& cursor);
    Cursor& positioned(int t);
    bool reload(int t);
    const CheckPlan& checkPlan(int t);
    [[noreturn]] void throwConditionViolated(int t, int f, const QString& serverText);
    std::vector<qint64> upcomingRows(int t, qint32 count);
    WritePlan& writePlan(int t);
    bool canDefer(int t, const Cursor& cursor);
    // Sends the held-back writes ahead of statements, in one round trip; a failed one throws
    // (and leaves the transaction failed). The statements' results come back.
    std::vector<PgResult> withWrites(const QList<std::pair<QString, QVariantList>>& statements);
    void flushWrites();
    void sendCommit();
    void forgetReads();
    std::pair<QString, QVariantList> groupedWrite(const std::vector<Deferred>& writes, size_t from,
                                                  size_t to) const;
    [[noreturn]] void throwDeferredFailure(int t, const PgResult& result);

    std::unique_ptr<PgConnection> db_;
    QString fileName_;
    PgCatalogue catalogue_;
    Login login_;
    std::vector<Cursor> cursors_;
    std::vector<CheckPlan> checks_;
    std::vector<WritePlan> writePlans_;
    std::vector<Deferred> deferred_;
    QString encoding_;
    quint64 transaction_ = 0; // counts the transactions begun; 0 outside one
    quint64 serial_ = 0;
    std::vector<std::weak_ptr<Table>> handles_;
};
