#include "VdbCatalogue.h"

#include "Sqlite.h"
#include "VdbErrors.h"

using namespace Qt::StringLiterals;

namespace {

template <class List, class Pred>
int positionOf(const List& list, Pred pred) {
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (pred(list[i]))
            return static_cast<int>(i);
    }
    return -1;
}

TableDef* tableById(Catalogue& catalogue, qint64 id) {
    for (TableDef& table : catalogue.tables) {
        if (table.id == id)
            return &table;
    }
    throw vdbError(VdbCode::NotADatabase, u"the catalogue names an unknown table"_s);
}

} // namespace

int TableDef::fieldPosition(const QString& fieldName) const {
    return positionOf(fields, [&](const FieldDef& f) { return f.name == fieldName; });
}

int TableDef::indexPosition(const QString& indexName) const {
    return positionOf(indexes, [&](const IndexDef& i) { return i.name == indexName; });
}

int Catalogue::tablePosition(const QString& tableName) const {
    return positionOf(tables, [&](const TableDef& t) { return t.name == tableName; });
}

Catalogue loadCatalogue(SqliteConnection& db) {
    Catalogue catalogue;
    {
        auto info = db.prepare(u"SELECT key, value FROM vdb_info"_s);
        while (info->step()) {
            const QString key = info->text(0);
            if (key == u"name"_s)
                catalogue.name = info->text(1);
            else if (key == u"country"_s)
                catalogue.country = info->text(1);
            else if (key == u"area_code"_s)
                catalogue.areaCode = info->text(1);
        }
    }
    {
        auto tables = db.prepare(u"SELECT id, name, caption FROM vdb_tables ORDER BY id"_s);
        while (tables->step()) {
            TableDef table;
            table.id = tables->integer(0);
            table.name = tables->text(1);
            table.caption = tables->text(2);
            catalogue.tables << table;
        }
    }
    {
        auto fields = db.prepare(u"SELECT table_id, name, type, condition FROM vdb_fields "
                                 "ORDER BY table_id, position"_s);
        while (fields->step()) {
            FieldDef field;
            field.name = fields->text(1);
            if (!fieldTypeFromName(fields->text(2), field.type))
                throw vdbError(VdbCode::NotADatabase,
                               u"the catalogue names an unknown field type "_s + fields->text(2));
            field.condition = fields->text(3);
            tableById(catalogue, fields->integer(0))->fields << field;
        }
    }
    {
        auto indexes = db.prepare(u"SELECT table_id, position, name, sql_name FROM vdb_indexes "
                                  "ORDER BY table_id, position"_s);
        while (indexes->step())
            tableById(catalogue, indexes->integer(0))
                ->indexes.append(IndexDef{indexes->text(2), indexes->text(3), {}});
        auto columns = db.prepare(u"SELECT table_id, index_position, field_position "
                                  "FROM vdb_index_fields "
                                  "ORDER BY table_id, index_position, position"_s);
        while (columns->step()) {
            TableDef* table = tableById(catalogue, columns->integer(0));
            const qint64 index = columns->integer(1);
            const qint64 field = columns->integer(2);
            if (index < 0 || index >= table->indexes.size() || field < 0 ||
                field >= table->fields.size())
                throw vdbError(VdbCode::NotADatabase, u"the catalogue's index list is damaged"_s);
            table->indexes[index].fieldPositions << static_cast<int>(field);
        }
    }
    {
        auto uses = db.prepare(u"SELECT table_id, index_name FROM vdb_index_uses "
                               "ORDER BY table_id, position"_s);
        while (uses->step())
            tableById(catalogue, uses->integer(0))->indexUses << uses->text(1);
    }
    {
        auto properties = db.prepare(u"SELECT table_id, name, value FROM vdb_properties "
                                     "ORDER BY table_id, position"_s);
        while (properties->step())
            tableById(catalogue, properties->integer(0))
                ->properties.append({properties->text(1), properties->text(2)});
    }
    return catalogue;
}
