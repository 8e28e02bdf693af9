#pragma once

#include "VdbCatalogue.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <vector>

class Table;
class CursorPlace;

// What the interface objects (tables, fields, expressions) ask of an open database, whichever
// engine stores it: the .vdb file's or a database server's. Single-threaded, as the whole system.
class EngineCore {
public:
    struct Login {
        QString userName;
        bool databaseAdmin = false;
        bool userAdmin = false;
    };

    virtual ~EngineCore() = default;

    virtual const QString& fileName() const = 0;
    virtual const Catalogue& catalogue() const = 0;
    virtual const Login& login() const = 0;

    // The shared handle of table t (the same object while anybody holds it).
    virtual std::shared_ptr<Table> tableHandle(int t) = 0;
    // Table position of that exact name; fails with NoSuchItem.
    virtual int tableIndex(const QString& name) const = 0;
    // Field position of that exact name in table t; fails with NoSuchItem.
    virtual int fieldIndex(int t, const QString& name) const = 0;

    virtual qint32 recordCount(int t) = 0;
    virtual qint32 markedCount(int t) = 0;
    virtual void activateIndex(int t, int index) = 0;
    virtual void setShowMarked(int t, bool on) = 0;
    virtual void setShowUnmarked(int t, bool on) = 0;
    virtual void moveFirst(int t) = 0;
    virtual void skip(int t, qint32 count) = 0;
    virtual bool eof(int t) = 0;
    virtual QString recordId(int t) = 0;
    virtual QVariant value(int t, int field) = 0;
    // The values of fields in the current record and the records the visit reaches after it,
    // count records at most, in visit order, read with one statement; empty when the engine
    // cannot read ahead (the caller then reads record by record).
    virtual QList<QVariantList> readAhead(int /*t*/, const std::vector<int>& /*fields*/,
                                          qint32 /*count*/) {
        return {};
    }
    virtual void setValue(int t, int field, const QVariant& value) = 0;
    virtual void update(int t) = 0;
    // Throws what update(t) would throw for the field conditions, without writing; an engine
    // that cannot tell passes everything.
    virtual void checkUpdate(int /*t*/) {}
    // The place of table t's cursor, or empty when this engine cannot come back to it.
    virtual std::shared_ptr<CursorPlace> cursorPlace(int) { return nullptr; }
    // Back to place (from cursorPlace of t); drops the edit buffer.
    virtual void returnTo(int, const CursorPlace&) {}

    virtual void begin() = 0;
    virtual void commit() = 0;
    // A commit that begin follows at once.
    virtual void commitBeforeBegin() { commit(); }
    virtual void rollback() = 0;
};
