#pragma once

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
    PgCore(std::unique_ptr<PgConnection> db, QString shownUri, PgCatalogue catalogue, Login login);
    ~PgCore() override;

    PgConnection& connection() { return *db_; }
    const PgRoles& roles() const { return roles_; }

    qint32 recordCount(int t) override;
    qint32 markedCount(int t) override;
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
    bool loadCurrent(int t) override;
    QString columns(int t) const;
    bool fetchPage(int t);
    PgResult guardedRead(const QString& sql, const QVariantList& params);
    std::vector<Row> readRows(int t, const QString& from, const QVariantList& params);
    Row rowOf(int t, const PgResult& result, int r) const;
    Cursor& positioned(int t);
    const CheckPlan& checkPlan(int t);
    [[noreturn]] void throwConditionViolated(int t, int f, const QString& serverText);

    std::unique_ptr<PgConnection> db_;
    PgRoles roles_;
    std::vector<Cursor> cursors_;
    std::vector<CheckPlan> checks_;
};
