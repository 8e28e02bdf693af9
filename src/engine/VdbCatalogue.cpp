#include "VdbCatalogue.h"

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

TableDef* findTable(Catalogue& catalogue, qint64 id) {
    for (TableDef& table : catalogue.tables) {
        if (table.id == id)
            return &table;
    }
    return nullptr;
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

Catalogue catalogueFromRows(const CatalogueReader& in) {
    const auto rows = [&](const QString& columns, const QString& table, const QString& order) {
        return in.rows(u"SELECT "_s + columns + u" FROM "_s + in.tablePrefix + table +
                       (order.isEmpty() ? QString() : u" ORDER BY "_s + order));
    };
    const auto tableById = [&](Catalogue& catalogue, const QString& id) {
        TableDef* table = findTable(catalogue, id.toLongLong());
        if (table == nullptr)
            throw in.error(VdbCode::NotADatabase, u"the catalogue names an unknown table"_s);
        return table;
    };
    Catalogue catalogue;
    for (const QStringList& row : rows(u"key, value"_s, u"vdb_info"_s, {})) {
        if (row[0] == u"name"_s)
            catalogue.name = row[1];
        else if (row[0] == u"country"_s)
            catalogue.country = row[1];
        else if (row[0] == u"area_code"_s)
            catalogue.areaCode = row[1];
    }
    for (const QStringList& row : rows(u"id, name, caption"_s, u"vdb_tables"_s, u"id"_s))
        catalogue.tables << TableDef{row[0].toLongLong(), row[1], row[2], {}, {}, {}, {}};
    const QString byPosition = u"table_id, position"_s;
    for (const QStringList& row :
         rows(u"table_id, name, type, condition"_s, u"vdb_fields"_s, byPosition)) {
        FieldDef field{row[1], FieldType::Text, row[3]};
        if (!fieldTypeFromName(row[2], field.type))
            throw in.error(VdbCode::NotADatabase,
                           u"the catalogue names an unknown field type "_s + row[2]);
        tableById(catalogue, row[0])->fields << field;
    }
    for (const QStringList& row : rows(u"table_id, name, sql_name"_s, u"vdb_indexes"_s, byPosition))
        tableById(catalogue, row[0])->indexes.append(IndexDef{row[1], row[2], {}});
    for (const QStringList& row :
         rows(u"table_id, index_position, field_position"_s, u"vdb_index_fields"_s,
              u"table_id, index_position, position"_s)) {
        TableDef* table = tableById(catalogue, row[0]);
        bool indexRead = false;
        bool fieldRead = false;
        const qint64 index = row[1].toLongLong(&indexRead);
        const qint64 field = row[2].toLongLong(&fieldRead);
        if (!indexRead || !fieldRead || index < 0 || index >= table->indexes.size() || field < 0 ||
            field >= table->fields.size())
            throw in.error(VdbCode::NotADatabase, u"the catalogue's index list is damaged"_s);
        table->indexes[index].fieldPositions << static_cast<int>(field);
    }
    for (const QStringList& row : rows(u"table_id, index_name"_s, u"vdb_index_uses"_s, byPosition))
        tableById(catalogue, row[0])->indexUses << row[1];
    for (const QStringList& row : rows(u"table_id, name, value"_s, u"vdb_properties"_s, byPosition))
        tableById(catalogue, row[0])->properties.append({row[1], row[2]});
    return catalogue;
}
