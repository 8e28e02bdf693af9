#pragma once

#include "EngineCore.h"
#include "Sqlite.h"
#include "VdbCatalogue.h"

#include <QString>
#include <QTemporaryFile>
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
class VdbCore : public EngineCore, public std::enable_shared_from_this<VdbCore> {
public:
    VdbCore(std::unique_ptr<SqliteConnection> db, QString fileName, Catalogue catalogue,
            Login login);
    ~VdbCore() override;

    const QString& fileName() const override { return fileName_; }
    const Catalogue& catalogue() const override { return catalogue_; }
    const Login& login() const override { return login_; }
    SqliteConnection& connection() { return *db_; }

    // The shared handle of table t (the same object while anybody holds it).
    std::shared_ptr<Table> tableHandle(int t) override;
    // Table position of that exact name; fails with NoSuchItem.
    int tableIndex(const QString& name) const override;
    // Field position of that exact name in table t; fails with NoSuchItem.
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
    std::shared_ptr<CursorPlace> cursorPlace(int t) override;
    void returnTo(int t, const CursorPlace& place) override;

    // value converted to what field f of table t stores; fails with TypeMismatch.
    QVariant storedValue(int t, int field, const QVariant& value) const;
    // Throws the server error for a failed write of table t (condition, type, lock, storage).
    [[noreturn]] void throwWriteFailure(int t, int rc);

    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const { return sqlite3_get_autocommit(db_->handle()) == 0; }

private:
    struct Cursor {
        int activeIndex = -1;
        bool showMarked = true;
        bool showUnmarked = true;
        bool eof = true;
        // MoveFirst was called and the visit starts at the next look at the cursor, so that
        // ShowMarked and ShowUnmarked right after MoveFirst still choose what it visits.
        bool pending = false;
        // The visit order of an index, as row ids in a temporary file; none for row-id order.
        std::unique_ptr<QTemporaryFile> order;
        qint64 orderCount = 0;
        qint64 orderPosition = 0;
        qint64 lastKey = 0;    // last row id read (row-id order)
        bool exhausted = true; // no further page to read
        std::vector<qint64> page;
        size_t pagePosition = 0;
        qint64 current = 0;
        bool rowLoaded = false;
        std::vector<QVariant> row;
        std::vector<std::optional<QVariant>> edits;
        bool dirty = false;
        quint64 visit = 0; // counts the visits begun, so that a place outlives none
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

    const TableDef& table(int t) const { return catalogue_.tables[t]; }
    QString visitFilter(int t) const;
    void buildSnapshot(int t);
    bool fetchPage(int t, bool keep = false);
    void advance(int t);
    bool loadRow(int t);
    bool loadVisited(int t);
    std::vector<qint64> upcomingRowIds(int t, qint32 count);
    std::unordered_map<qint64, std::vector<QVariant>> loadRows(int t,
                                                               const std::vector<qint64>& ids);
    void newTransaction();
    void dropEdits(Cursor& cursor);
    Cursor& positioned(int t);
    void startIfPending(int t);
    SqliteStatement& updateStatement(int t, const std::vector<bool>& mask);
    static QVariant fromStored(FieldType type, const QVariant& stored);
    void runControl(std::unique_ptr<SqliteStatement>& statement, const QString& sql);
    bool nothingBegun();

    std::unique_ptr<SqliteConnection> db_;
    QString fileName_;
    Catalogue catalogue_;
    Login login_;
    std::vector<Cursor> cursors_;
    std::vector<TableStatements> statements_;
    std::vector<std::weak_ptr<Table>> handles_;
    std::unique_ptr<SqliteStatement> begin_;
    std::unique_ptr<SqliteStatement> commit_;
    std::unique_ptr<SqliteStatement> rollback_;
    bool beginFailed_ = false; // no batch open after a failure, and no write since
    // Counts transactions begun and ended: rows read in an earlier one may be stale.
    quint64 transaction_ = 1;
};
