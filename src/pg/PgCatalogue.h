#pragma once

#include "VdbCatalogue.h"

class PgConnection;

// The catalogue tables of a Telnormer database on a PostgreSQL server: those of a .vdb file,
// without users (they are the server's roles) and with the names of the two rights' roles.
inline constexpr const char16_t* kPgCatalogueSql[] = {
    u"CREATE TABLE vdb_info(key text PRIMARY KEY, value text NOT NULL)",
    u"CREATE TABLE vdb_tables(id bigint PRIMARY KEY, name text NOT NULL UNIQUE, "
    u"caption text NOT NULL)",
    u"CREATE TABLE vdb_fields(table_id bigint NOT NULL REFERENCES vdb_tables(id), "
    u"position integer NOT NULL, name text NOT NULL, type text NOT NULL, "
    u"condition text NOT NULL, PRIMARY KEY(table_id, position))",
    u"CREATE TABLE vdb_indexes(table_id bigint NOT NULL REFERENCES vdb_tables(id), "
    u"position integer NOT NULL, name text NOT NULL, sql_name text NOT NULL, "
    u"PRIMARY KEY(table_id, position))",
    u"CREATE TABLE vdb_index_fields(table_id bigint NOT NULL, index_position integer NOT NULL, "
    u"position integer NOT NULL, field_position integer NOT NULL, "
    u"PRIMARY KEY(table_id, index_position, position))",
    u"CREATE TABLE vdb_index_uses(table_id bigint NOT NULL REFERENCES vdb_tables(id), "
    u"position integer NOT NULL, index_name text NOT NULL, PRIMARY KEY(table_id, position))",
    u"CREATE TABLE vdb_properties(table_id bigint NOT NULL REFERENCES vdb_tables(id), "
    u"position integer NOT NULL, name text NOT NULL, value text NOT NULL, "
    u"PRIMARY KEY(table_id, position))",
    u"CREATE TABLE vdb_marks(table_id bigint NOT NULL, rid bigint NOT NULL, "
    u"PRIMARY KEY(table_id, rid))",
};

// Default names of the roles whose members hold the two admin rights.
inline constexpr char16_t kDatabaseAdminRole[] = u"vdb_database_admin";
inline constexpr char16_t kUserAdminRole[] = u"vdb_user_admin";

struct PgCatalogue {
    Catalogue catalogue;
    QString databaseAdminRole;
    QString userAdminRole;
};

// Reads the catalogue; a database without one fails with NotADatabase.
PgCatalogue loadPgCatalogue(PgConnection& db, const QString& shownUri);
