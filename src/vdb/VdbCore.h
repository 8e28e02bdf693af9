#pragma once

#include "CursorCore.h"
#include "Sqlite.h"
#include "VdbCatalogue.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class Table;

// One open .vdb database: the connection, the catalogue, every table's cursor and edit buffer,
// and the transaction state. The interface objects are thin handles onto it; it lives while any
// of them does. Single-threaded, as the whole system.
class VdbCore : public CursorCore {
public:
    VdbCore(std::unique_ptr<SqliteConnection> db, QString fileName, Catalogue catalogue,
            Login login);
    ~VdbCore() override;

    SqliteConnection& connection() { return *db_; }

    qint32 recordCount(int t) override;
    qint32 markedCount(int t) override;
    void update(int t) override;
    void checkUpdate(int t) override;
    std::shared_ptr<CursorPlace> cursorPlace(int t) override;
    void returnTo(int t, const CursorPlace& place) override;

    // Throws the server error for a failed write of table t (condition, type, lock, storage).
    [[noreturn]] void throwWriteFailure(int t, int rc);

    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const { return sqlite3_get_autocommit(db_->handle()) == 0; }

private:
    struct Cursor : Visit {
        std::vector<qint64> page;
        qint64 current = 0;
        std::vector<QVariant> row;
        // Records read ahead inside the open transaction, by row id: the visit takes them instead
        // of reading each. Dropped whenever a transaction begins or ends.
        std::unordered_map<qint64, std::vector<QVariant>> ahead;
        qint32 aheadCount = 0;      // records the last read ahead asked for
        quint64 rowTransaction = 0; // the transaction the current row was read in
    };

    struct TableStatements {
        std::unique_ptr<SqliteStatement> loadRow;
        std::unique_ptr<SqliteStatement> nextRowIds;
        std::map<std::vector<bool>, std::unique_ptr<SqliteStatement>> updates;
        std::map<size_t, std::unique_ptr<SqliteStatement>> readAhead; // by number of records
        std::unique_ptr<SqliteStatement> readRange;
        std::unique_ptr<SqliteStatement> check;
    };

    Visit& visitOf(int t) override { return cursors_[t]; }
    void clearPage(int t) override;
    void startRowIdVisit(int t) override;
    void readOrder(int t, VisitOrder& order) override;
    void advance(int t) override;
    QList<QVariantList> readAheadAt(int t, const std::vector<int>& fields, qint32 count) override;
    bool loadCurrent(int t) override;
    qint64 currentId(int t) override { return cursors_[t].current; }
    const QVariant& currentValue(int t, int f) override { return cursors_[t].row[f]; }
    QString notText() const override { return QStringLiteral("valid UTF-8 text"); }
    bool fetchPage(int t, bool keep = false);
    bool loadVisited(int t);
    std::vector<qint64> upcomingRowIds(int t, qint32 count);
    std::unordered_map<qint64, std::vector<QVariant>> loadRows(int t,
                                                               const std::vector<qint64>& ids);
    void newTransaction();
    Cursor& positioned(int t);
    SqliteStatement& updateStatement(int t, const std::vector<bool>& mask);
    static QVariant fromStored(FieldType type, const QVariant& stored);
    void runControl(std::unique_ptr<SqliteStatement>& statement, const QString& sql);
    bool nothingBegun();

    std::unique_ptr<SqliteConnection> db_;
    std::vector<Cursor> cursors_;
    std::vector<TableStatements> statements_;
    std::unique_ptr<SqliteStatement> begin_;
    std::unique_ptr<SqliteStatement> commit_;
    std::unique_ptr<SqliteStatement> rollback_;
    bool beginFailed_ = false; // no batch open after a failure, and no write since
    // Counts transactions begun and ended: rows read in an earlier one may be stale.
    quint64 transaction_ = 1;
};
