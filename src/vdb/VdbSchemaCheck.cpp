#include "VdbSchemaCheck.h"

#include "Sqlite.h"
#include "VdbCatalogueSql.h"
#include "VdbErrors.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

QSet<QString> catalogueTables() {
    static const QRegularExpression create(u"CREATE TABLE (\\w+)"_s);
    QSet<QString> names;
    for (const QRegularExpressionMatch& match :
         create.globalMatch(QString::fromUtf16(kCatalogueSql)))
        names.insert(match.captured(1));
    return names;
}

[[noreturn]] void refuseObject(const QString& kind, const QString& name, const QString& path) {
    throw vdbError(VdbCode::ForeignSchemaObject,
                   u"This is not a valid .vdb database: it holds the "_s + kind + u" \""_s + name +
                       u"\", which the program does not know: "_s + path);
}

[[noreturn]] void refuseColumns(const TableDef& table, const QString& what, const QString& path) {
    throw vdbError(VdbCode::NotADatabase,
                   u"The catalogue of the database is damaged: the table \""_s + table.name +
                       u"\" "_s + what + u": "_s + path);
}

void checkObjects(SqliteConnection& db, const Catalogue& catalogue, const QString& path) {
    static const QSet<QString> internal{u"sqlite_stat1"_s, u"sqlite_stat4"_s, u"sqlite_sequence"_s};
    const QSet<QString> ownTables = catalogueTables();
    QSet<QString> productTables;
    QHash<QString, QString> ownIndexes; // index name -> its table
    for (const TableDef& table : catalogue.tables) {
        productTables.insert(table.name);
        for (const IndexDef& index : table.indexes)
            ownIndexes.insert(index.sqlName, table.name);
    }
    auto objects = db.prepare(u"SELECT type, name, tbl_name, sql FROM sqlite_schema"_s);
    while (objects->step()) {
        const QString type = objects->text(0);
        const QString name = objects->text(1);
        const QString table = objects->text(2);
        const QString sql = objects->text(3).simplified();
        if (type == u"table"_s) {
            if (sql.startsWith(u"CREATE VIRTUAL"_s, Qt::CaseInsensitive))
                refuseObject(u"virtual table"_s, name, path);
            if (!ownTables.contains(name) && !productTables.contains(name) &&
                !internal.contains(name))
                refuseObject(u"table"_s, name, path);
        } else if (type == u"index"_s) {
            // Constraints of the catalogue tables make SQLite's own indexes (no SQL text).
            const bool automatic = objects->isNull(3) && name.startsWith(u"sqlite_autoindex_"_s) &&
                                   ownTables.contains(table);
            if (!automatic && (!ownIndexes.contains(name) || ownIndexes.value(name) != table))
                refuseObject(u"index"_s, name, path);
        } else {
            refuseObject(type, name, path);
        }
    }
}

bool hasRowIds(SqliteConnection& db, const TableDef& table) {
    auto list = db.prepare(
        u"SELECT wr FROM pragma_table_list WHERE schema = 'main' AND name = ? COLLATE NOCASE"_s);
    list->bindText(1, table.name);
    return list->step() && list->integer(0) == 0;
}

void checkColumns(SqliteConnection& db, const TableDef& table, const QString& path) {
    auto columns =
        db.prepare(u"SELECT name, type, hidden, pk FROM pragma_table_xinfo(?) ORDER BY cid"_s);
    columns->bindText(1, table.name);
    QHash<QString, QString> types;
    bool rowId = false;
    while (columns->step()) {
        const QString name = columns->text(0);
        if (columns->integer(2) != 0)
            refuseColumns(table, u"has the computed or hidden column \""_s + name + u'"', path);
        if (name == QString::fromUtf16(kRowIdColumn))
            rowId = columns->text(1) == u"INTEGER"_s && columns->integer(3) == 1;
        else
            types.insert(name, columns->text(1));
    }
    // Only the INTEGER PRIMARY KEY of a table with row ids is the row id itself, the key that
    // stays with the record (a key of more columns makes an index, which is refused as foreign).
    if (!rowId || !hasRowIds(db, table))
        refuseColumns(table, u"is missing or has no row-id column"_s, path);
    for (const FieldDef& field : table.fields) {
        const auto found = types.constFind(field.name);
        if (found == types.cend())
            refuseColumns(table, u"has no column for the field \""_s + field.name + u'"', path);
        if (found->compare(sqlColumnType(field.type), Qt::CaseInsensitive) != 0)
            refuseColumns(table,
                          u"stores the field \""_s + field.name + u"\" as "_s + *found +
                              u", not as "_s + sqlColumnType(field.type),
                          path);
        types.erase(found);
    }
    if (!types.isEmpty())
        refuseColumns(table,
                      u"has the column \""_s + types.begin().key() + u"\" that it does not list"_s,
                      path);
}

} // namespace

QString sqlColumnType(FieldType type) {
    // Dates are kept as ISO texts.
    return fieldTypeName(type, {u"TEXT"_s, u"INTEGER"_s, u"REAL"_s, u"TEXT"_s});
}

void checkSchema(SqliteConnection& db, const Catalogue& catalogue, const QString& path) {
    checkObjects(db, catalogue, path);
    for (const TableDef& table : catalogue.tables)
        checkColumns(db, table, path);
}
