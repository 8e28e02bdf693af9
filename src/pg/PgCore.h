#pragma once

#include "EngineCore.h"
#include "PgCatalogue.h"
#include "PgConnection.h"

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

    const TableDef& table(int t) const { return catalogue_.catalogue.tables[t]; }
    QString columns(int t) const;
    QString visitFilter(int t) const;
    void buildSnapshot(int t);
    bool fetchPage(int t);
    PgResult guardedRead(const QString& sql, const QVariantList& params);
    std::vector<Row> readRows(int t, const QString& from, const QVariantList& params);
    Row rowOf(int t, const PgResult& result, int r) const;
    void advance(int t);
    void startIfPending(int t);
    void dropEdits(Cursor& cursor);
    Cursor& positioned(int t);
    bool reload(int t);
    const CheckPlan& checkPlan(int t);
    [[noreturn]] void throwConditionViolated(int t, int f, const QString& serverText);

    std::unique_ptr<PgConnection> db_;
    QString fileName_;
    PgCatalogue catalogue_;
    Login login_;
    std::vector<Cursor> cursors_;
    std::vector<CheckPlan> checks_;
    std::vector<std::weak_ptr<Table>> handles_;
};
