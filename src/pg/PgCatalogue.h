#pragma once

#include "VdbCatalogue.h"

class PgConnection;

// The schema that holds a Telnormer database's catalogue and product tables. Every statement
// names it, so that neither a table named like a system catalogue nor another role's objects on
// the search path can stand in for ours.
inline constexpr char16_t kPgSchema[] = u"telnormer";

// The catalogue tables of a Telnormer database on a PostgreSQL server: those of a .vdb file,
// without users (they are the server's roles).
inline constexpr const char16_t* kPgCatalogueSql[] = {
    u"CREATE TABLE telnormer.vdb_info(key text PRIMARY KEY, value text NOT NULL)",
    u"CREATE TABLE telnormer.vdb_tables(id bigint PRIMARY KEY, name text NOT NULL UNIQUE, "
    u"caption text NOT NULL)",
    u"CREATE TABLE telnormer.vdb_fields(table_id bigint NOT NULL REFERENCES "
    u"telnormer.vdb_tables(id), "
    u"position integer NOT NULL, name text NOT NULL, type text NOT NULL, "
    u"condition text NOT NULL, PRIMARY KEY(table_id, position))",
    u"CREATE TABLE telnormer.vdb_indexes(table_id bigint NOT NULL REFERENCES "
    u"telnormer.vdb_tables(id), "
    u"position integer NOT NULL, name text NOT NULL, sql_name text NOT NULL, "
    u"PRIMARY KEY(table_id, position))",
    u"CREATE TABLE telnormer.vdb_index_fields(table_id bigint NOT NULL, index_position integer NOT "
    u"NULL, "
    u"position integer NOT NULL, field_position integer NOT NULL, "
    u"PRIMARY KEY(table_id, index_position, position))",
    u"CREATE TABLE telnormer.vdb_index_uses(table_id bigint NOT NULL REFERENCES "
    u"telnormer.vdb_tables(id), "
    u"position integer NOT NULL, index_name text NOT NULL, PRIMARY KEY(table_id, position))",
    u"CREATE TABLE telnormer.vdb_properties(table_id bigint NOT NULL REFERENCES "
    u"telnormer.vdb_tables(id), "
    u"position integer NOT NULL, name text NOT NULL, value text NOT NULL, "
    u"PRIMARY KEY(table_id, position))",
    u"CREATE TABLE telnormer.vdb_marks(table_id bigint NOT NULL, rid bigint NOT NULL, "
    u"PRIMARY KEY(table_id, rid))",
};

// The roles of one database: members of users may log in and convert; members of the two admin
// roles hold those rights (and are users through them). Derived from the database's name only,
// never read from anything stored in it.
struct PgRoles {
    QString users;
    QString databaseAdmins;
    QString userAdmins;
};
PgRoles pgRolesOf(const QString& database);

// A product or catalogue table of the database's schema, quoted for SQL.
QString pgTable(const QString& name);

struct PgCatalogue {
    Catalogue catalogue;
    PgRoles roles;
};

// Reads the catalogue; a database without one fails with NotADatabase.
PgCatalogue loadPgCatalogue(PgConnection& db, const QString& shownUri);
