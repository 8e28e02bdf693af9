#include "PgCatalogue.h"

#include "PgConnection.h"
#include "PgErrors.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

PgRoles pgRolesOf(const QString& database) {
    // Role names are the server's, shared by every database: a readable part of the name and a
    // hash of all of it keep two databases apart however long or odd their names, within the
    // server's 63 bytes.
    QString readable;
    for (const QChar c : database.toLower()) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
        if (readable.size() < 20 && (plain || !readable.endsWith(u'_')))
            readable += plain ? c : QChar(u'_');
    }
    const QString base =
        u"tn_"_s + readable + u'_' +
        QString::fromLatin1(QCryptographicHash::hash(database.toUtf8(), QCryptographicHash::Sha256)
                                .toHex()
                                .left(10));
    return {base + u"_users"_s, base + u"_dbadmin"_s, base + u"_useradmin"_s};
}

QString pgTable(const QString& name) {
    return QString::fromUtf16(kPgSchema) + u'.' + pgQuote(name);
}

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
        PgResult info = db.execRaw(u"SELECT key, value FROM telnormer.vdb_info"_s);
        if (PQresultStatus(info.handle()) != PGRES_TUPLES_OK) {
            if (sqlState(info) == u"42P01"_s || sqlState(info) == u"3F000"_s)
                throw pgError(VdbCode::NotADatabase,
                              u"The database holds no Telnormer catalogue: "_s + shownUri);
            db.throwFailure(info, u"reading the catalogue"_s);
        }
        for (int r = 0; r < info.rows(); ++r) {
            const QString key = info.text(r, 0);
            const QString value = info.text(r, 1);
            if (key == u"name"_s)
                catalogue.name = value;
            else if (key == u"country"_s)
                catalogue.country = value;
            else if (key == u"area_code"_s)
                catalogue.areaCode = value;
        }
    }
    PgResult tables = db.exec(u"SELECT id, name, caption FROM telnormer.vdb_tables ORDER BY id"_s);
    for (int r = 0; r < tables.rows(); ++r) {
        TableDef table;
        table.id = tables.integer(r, 0);
        table.name = tables.text(r, 1);
        table.caption = tables.text(r, 2);
        catalogue.tables << table;
    }
    PgResult fields = db.exec(u"SELECT table_id, name, type, condition FROM telnormer.vdb_fields "
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
    PgResult indexes = db.exec(u"SELECT table_id, name, sql_name FROM telnormer.vdb_indexes "
                               "ORDER BY table_id, position"_s);
    for (int r = 0; r < indexes.rows(); ++r)
        tableById(catalogue, indexes.integer(r, 0))
            ->indexes.append(IndexDef{indexes.text(r, 1), indexes.text(r, 2), {}});
    PgResult columns = db.exec(u"SELECT table_id, index_position, field_position "
                               "FROM telnormer.vdb_index_fields "
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
    PgResult uses = db.exec(
        u"SELECT table_id, index_name FROM telnormer.vdb_index_uses ORDER BY table_id, position"_s);
    for (int r = 0; r < uses.rows(); ++r)
        tableById(catalogue, uses.integer(r, 0))->indexUses << uses.text(r, 1);
    PgResult properties = db.exec(
        u"SELECT table_id, name, value FROM telnormer.vdb_properties ORDER BY table_id, position"_s);
    for (int r = 0; r < properties.rows(); ++r)
        tableById(catalogue, properties.integer(r, 0))
            ->properties.append({properties.text(r, 1), properties.text(r, 2)});
    result.roles = pgRolesOf(db.databaseName());
    return result;
}
