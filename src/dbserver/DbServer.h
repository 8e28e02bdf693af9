#pragma once

// The operations the system requires of the database server. Everything else is written against
// these interfaces; src/vdb implements them. Objects are shared references; failures throw
// ErrorRecord with a server error number (serverErrorNumber).

#include "Enumerable.h"
#include "ErrorRecord.h"

#include <QString>
#include <QVariant>

#include <memory>

class Database;
class Logon;
class User;
class Tables;
class Table;
class Fields;
class Field;
class Indexes;
class Index;
class IndexUses;
class IndexUse;
class Properties;
class Property;
class Evaluator;
class Expression;
class Transaction;

using DatabasePtr = std::shared_ptr<Database>;
using TablePtr = std::shared_ptr<Table>;
using FieldPtr = std::shared_ptr<Field>;

// Flags of DbServer::OpenDatabase.
namespace OpenFlag {
constexpr qint32 None = 0;
constexpr qint32 DatabaseAdmin = 0x10000;
constexpr qint32 UserAdmin = 0x20000;
constexpr qint32 DatabaseAdminCompanion = 0x10; // always given together with DatabaseAdmin
// What every entry that converts asks for, as the login dialog always does.
constexpr qint32 Converting = DatabaseAdmin | DatabaseAdminCompanion | UserAdmin;
} // namespace OpenFlag

// Option word of the cursor and update calls that the conversion run passes.
constexpr qint32 kCursorOption = 256;

// Entry point: the only object created directly.
class DbServer {
public:
    virtual ~DbServer() = default;
    // Opens a database file as user with password; flags request admin modes; fails when it cannot.
    virtual DatabasePtr OpenDatabase(const QString& path, const QString& user,
                                     const QString& password, qint32 flags) = 0;
};

// An open database.
class Database {
public:
    virtual ~Database() = default;
    // Full path and file name of the database file.
    virtual QString FileName() = 0;
    // The database's shown name.
    virtual QString Name() = 0;
    // Compiles expressions over the current records.
    virtual std::shared_ptr<::Evaluator> Evaluator() = 0;
    // The login this database was opened with.
    virtual std::shared_ptr<::Logon> Logon() = 0;
    // The product tables, in catalogue order.
    virtual CollectionRef<::Tables> Tables() = 0;
    // The transaction object through which changes are kept or undone.
    virtual std::shared_ptr<Transaction> GetTransaction(qint32 opt) = 0;
};

// The telephone location a database keeps for completing national and local numbers. Not every
// Database offers it: callers ask with dynamic_cast and fall back when it is missing.
class TelephoneLocation {
public:
    virtual ~TelephoneLocation() = default;
    // ISO 3166 region code ("DE"), or empty when the database has none.
    virtual QString LocationCountry() = 0;
    // National destination code without trunk prefix ("30"), or empty.
    virtual QString LocationAreaCode() = 0;
};

// A key that names a table's current record for as long as the record exists, whatever index
// orders the visit: what a journal keeps to find the record again. Not every Table offers it:
// callers ask with dynamic_cast and do without when it is missing.
class RecordKey {
public:
    virtual ~RecordKey() = default;
    // The current record's key; fails when there is no current record.
    virtual QString StableRecordKey() = 0;
};

// Judges the current record's edit buffer as Update would, without writing or taking a write
// lock: throws what Update would throw for the field conditions, else nothing. Not every Table
// offers it: callers ask with dynamic_cast.
class UpdateCheck {
public:
    virtual ~UpdateCheck() = default;
    virtual void CheckUpdate(qint32 opt) = 0;
};

// A place of a table's cursor to come back to: what lets a caller read records ahead and then
// write them in order. Not every Table offers it: callers ask with dynamic_cast, and Mark may
// give an empty place when the engine cannot come back.
class CursorPlace {
public:
    virtual ~CursorPlace() = default;
};

class CursorMark {
public:
    virtual ~CursorMark() = default;
    // The cursor's current place; empty when the engine cannot return to it.
    virtual std::shared_ptr<CursorPlace> Mark() = 0;
    // Puts the cursor back on place (taken from this table); drops the edit buffer.
    virtual void Return(const std::shared_ptr<CursorPlace>& place) = 0;
};

// The login of an open database.
class Logon {
public:
    virtual ~Logon() = default;
    // The logged-in user.
    virtual std::shared_ptr<User> CurrentUser() = 0;
};

// A database user.
class User {
public:
    virtual ~User() = default;
    // The user's name in its stored form.
    virtual QString Name() = 0;
};

// The tables of a database.
class Tables : public Enumerable<Table> {
public:
    // The database these tables belong to.
    virtual DatabasePtr Parent() = 0;
    // The table of that name (exact); the same object, with its cursor, on every call.
    virtual TablePtr Item(const QString& name) = 0;
};

// A table with its cursor and the current record's edit buffer.
class Table {
public:
    virtual ~Table() = default;
    // The collection this table belongs to.
    virtual std::shared_ptr<::Tables> Parent() = 0;
    // The table's name.
    virtual QString Name() = 0;
    // The table's caption; may be empty.
    virtual QString Caption() = 0;
    // The table's fields in their order.
    virtual CollectionRef<::Fields> Fields() = 0;
    // The table's named indexes.
    virtual CollectionRef<::Indexes> Indexes() = 0;
    // Number of records in the table.
    virtual qint32 RecordCount() = 0;
    // True once the cursor has passed the last record to visit.
    virtual bool Eof() = 0;
    // Puts the cursor on the first record to visit.
    virtual void MoveFirst(qint32 opt) = 0;
    // Moves the cursor count records on; drops an unsaved edit buffer.
    virtual void Skip(qint32 count, qint32 opt) = 0;
    // Stores the current record's edit buffer; a broken field condition fails with 0x80041076.
    virtual void Update(qint32 opt) = 0;
    // A text naming the current record.
    virtual QString RecordId() = 0;
    // The table's named properties, such as "ItemExpression".
    virtual std::shared_ptr<::Properties> Properties() = 0;
    // Whether marked records are visited.
    virtual void ShowMarked(bool on, qint32 opt) = 0;
    // Whether unmarked records are visited.
    virtual void ShowUnmarked(bool on, qint32 opt) = 0;
    // Number of marked records in the table.
    virtual qint32 MarkedCount() = 0;
    // The indexes that relations between tables use.
    virtual std::shared_ptr<::IndexUses> IndexUses() = 0;
};

// The fields of a table.
class Fields : public Enumerable<Field> {
public:
    // The field of that name (exact); fails when there is none.
    virtual FieldPtr Item(const QString& name) = 0;
    // The field at position from 0; fails when there is none.
    virtual FieldPtr Item(int position) = 0;
};

// A field of a table, read and written in the current record.
class Field {
public:
    virtual ~Field() = default;
    // The field's name.
    virtual QString Name() = 0;
    // The value in the current record (edit buffer first); null stays null.
    // A stored text that is not valid UTF-8 comes as its raw bytes (QByteArray), never a QString.
    virtual QVariant Value() = 0;
    // Writes the value into the current record's edit buffer; a text holding NUL is refused.
    virtual void SetValue(const QVariant& value) = 0;
};

// Whether a field stores text. Not every Field offers it: callers ask with dynamic_cast and
// take a field without it for a text field.
class FieldKind {
public:
    virtual ~FieldKind() = default;
    virtual bool HoldsText() = 0;
};

// The named indexes of a table.
class Indexes : public Enumerable<Index> {
public:
    // The index of that name (exact); fails when there is none.
    virtual std::shared_ptr<::Index> Item(const QString& name) = 0;
    // Makes that index order the visit.
    virtual void Activate(const QString& name, qint32 opt) = 0;
};

// A named index.
class Index {
public:
    virtual ~Index() = default;
    // The index's name.
    virtual QString Name() = 0;
};

// The index uses of a table.
class IndexUses {
public:
    virtual ~IndexUses() = default;
    // Number of members.
    virtual qint32 Count() = 0;
    // Member at position from 0; fails when there is none.
    virtual std::shared_ptr<IndexUse> Item(int position) = 0;
};

// One index use: the index a relation uses.
class IndexUse {
public:
    virtual ~IndexUse() = default;
    // The index referred to.
    virtual std::shared_ptr<::Index> Index() = 0;
};

// The named properties of a table.
class Properties {
public:
    virtual ~Properties() = default;
    // The property of that name; fails when there is none.
    virtual std::shared_ptr<Property> Item(const QString& name) = 0;
};

// A named property.
class Property {
public:
    virtual ~Property() = default;
    // The property's value.
    virtual QVariant Value() = 0;
};

// Compiles expression texts.
class Evaluator {
public:
    virtual ~Evaluator() = default;
    // Compiles text; fails on a bad text with the position of the fault.
    virtual std::shared_ptr<Expression> Compile(const QString& text, qint32 opt) = 0;
};

// A compiled expression.
class Expression {
public:
    virtual ~Expression() = default;
    // The value for the current records.
    virtual QVariant Evaluate(qint32 opt) = 0;
};

// The transaction through which changes are kept or undone.
class Transaction {
public:
    virtual ~Transaction() = default;
    // Makes the writes since Begin permanent.
    virtual void Commit() = 0;
    // Undoes the writes since Begin.
    virtual void Rollback() = 0;
    // Opens a transaction covering the following writes.
    virtual void Begin(qint32 opt) = 0;
};
