#pragma once

#include "VdbCatalogue.h"

#include <QString>

class SqliteConnection;

// Refuses a file whose schema holds more than the catalogue tables, the product tables and the
// engine's own indexes (a trigger, view, virtual table or foreign index would run or show
// whatever its author planted), or whose product tables do not hold exactly the catalogued
// fields as columns of their type.
void checkSchema(SqliteConnection& db, const Catalogue& catalogue, const QString& path);

// The column type of a field type.
QString sqlColumnType(FieldType type);
