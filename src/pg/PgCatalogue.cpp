#include "PgCatalogue.h"

#include "PgConnection.h"
#include "PgErrors.h"

using namespace Qt::StringLiterals;

namespace {

TableDef* tableById(Catalogue& catalogue, qint64 id) {
    for (TableDef& table : catalogue.tables) {
        if (table.id == id)
            return &table;
    }
    throw pgError(VdbCode::NotADatabase, u"the catalogue names an unknown table"_s);
}

} // namespace

PgCatalogue loadPgCatalogue(PgConnection& db, const QString& shownUri) {
    PgCatalogue result;
    Catalogue& catalogue = result.catalogue;
    {
        PgResult info = db.execRaw(u"SELECT key, value FROM vdb_info"_s);
        if (PQresultStatus(info.handle()) != PGRES_TUPLES_OK) {
            if (sqlState(info) == u"42P01"_s)
                throw pgError(VdbCode::NotADatabase,
                              u"The database holds no Telnormer catalogue: "_s + shownUri);
            db.throwFailure(info, u"reading the catalogue"_s);
        }
        result.databaseAdminRole = QString::fromUtf16(kDatabaseAdminRole);
        result.userAdminRole = QString::fromUtf16(kUserAdminRole);
        for (int r = 0; r < info.rows(); ++r) {
            const QString key = info.text(r, 0);
            const QString value = info.text(r, 1);
            if (key == u"name"_s)
                catalogue.name = value;
            else if (key == u"country"_s)
                catalogue.country = value;
            else if (key == u"area_code"_s)
                catalogue.areaCode = value;
            else if (key == u"database_admin_role"_s)
                result.databaseAdminRole = value;
            else if (key == u"user_admin_role"_s)
                result.userAdminRole = value;
        }
    }
    PgResult tables = db.exec(u"SELECT id, name, caption FROM vdb_tables ORDER BY id"_s);
    for (int r = 0; r < tables.rows(); ++r) {
        TableDef table;
        table.id = tables.integer(r, 0);
        table.name = tables.text(r, 1);
        table.caption = tables.text(r, 2);
        catalogue.tables << table;
    }
    PgResult fields = db.exec(u"SELECT table_id, name, type, condition FROM vdb_fields "
                              "ORDER BY table_id, position"_s);
    for (int r = 0; r < fields.rows(); ++r) {
        FieldDef field;
        field.name = fields.text(r, 1);
        if (!fieldTypeFromName(fields.text(r, 2), field.type))
            throw pgError(VdbCode::NotADatabase,
                          u"the catalogue names an unknown field type "_s + fields.text(r, 2));
        field.condition = fields.text(r, 3);
        tableById(catalogue, fields.integer(r, 0))->fields << field;
    }
    PgResult indexes = db.exec(u"SELECT table_id, name, sql_name FROM vdb_indexes "
                               "ORDER BY table_id, position"_s);
    for (int r = 0; r < indexes.rows(); ++r)
        tableById(catalogue, indexes.integer(r, 0))
            ->indexes.append(IndexDef{indexes.text(r, 1), indexes.text(r, 2), {}});
    PgResult columns = db.exec(u"SELECT table_id, index_position, field_position "
                               "FROM vdb_index_fields "
                               "ORDER BY table_id, index_position, position"_s);
    for (int r = 0; r < columns.rows(); ++r) {
        TableDef* table = tableById(catalogue, columns.integer(r, 0));
        const qint64 index = columns.integer(r, 1);
        const qint64 field = columns.integer(r, 2);
        if (index < 0 || index >= table->indexes.size() || field < 0 ||
            field >= table->fields.size())
            throw pgError(VdbCode::NotADatabase, u"the catalogue's index list is damaged"_s);
        table->indexes[index].fieldPositions << static_cast<int>(field);
    }
    PgResult uses =
        db.exec(u"SELECT table_id, index_name FROM vdb_index_uses ORDER BY table_id, position"_s);
    for (int r = 0; r < uses.rows(); ++r)
        tableById(catalogue, uses.integer(r, 0))->indexUses << uses.text(r, 1);
    PgResult properties =
        db.exec(u"SELECT table_id, name, value FROM vdb_properties ORDER BY table_id, position"_s);
    for (int r = 0; r < properties.rows(); ++r)
        tableById(catalogue, properties.integer(r, 0))
            ->properties.append({properties.text(r, 1), properties.text(r, 2)});
    return result;
}
