#pragma once

#include "VdbCatalogue.h"

#include <QString>

// The catalogue tables of a .vdb file.
inline constexpr char16_t kCatalogueSql[] = uR"SQL(
CREATE TABLE vdb_info(key TEXT PRIMARY KEY, value TEXT NOT NULL) STRICT;
CREATE TABLE vdb_tables(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,
    caption TEXT NOT NULL) STRICT;
CREATE TABLE vdb_fields(table_id INTEGER NOT NULL REFERENCES vdb_tables(id),
    position INTEGER NOT NULL, name TEXT NOT NULL, type TEXT NOT NULL,
    condition TEXT NOT NULL, PRIMARY KEY(table_id, position)) STRICT;
CREATE TABLE vdb_indexes(table_id INTEGER NOT NULL REFERENCES vdb_tables(id),
    position INTEGER NOT NULL, name TEXT NOT NULL, sql_name TEXT NOT NULL,
    PRIMARY KEY(table_id, position)) STRICT;
CREATE TABLE vdb_index_fields(table_id INTEGER NOT NULL, index_position INTEGER NOT NULL,
    position INTEGER NOT NULL, field_position INTEGER NOT NULL,
    PRIMARY KEY(table_id, index_position, position)) STRICT;
CREATE TABLE vdb_index_uses(table_id INTEGER NOT NULL REFERENCES vdb_tables(id),
    position INTEGER NOT NULL, index_name TEXT NOT NULL, PRIMARY KEY(table_id, position)) STRICT;
CREATE TABLE vdb_properties(table_id INTEGER NOT NULL REFERENCES vdb_tables(id),
    position INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL,
    PRIMARY KEY(table_id, position)) STRICT;
CREATE TABLE vdb_users(id INTEGER PRIMARY KEY, name TEXT NOT NULL, folded TEXT NOT NULL UNIQUE,
    hash TEXT NOT NULL, database_admin INTEGER NOT NULL, user_admin INTEGER NOT NULL) STRICT;
CREATE TABLE vdb_marks(table_id INTEGER NOT NULL, rid INTEGER NOT NULL,
    PRIMARY KEY(table_id, rid)) STRICT, WITHOUT ROWID;
)SQL";
