#pragma once

#include "PasswordHash.h"
#include "VdbSchema.h"

#include <QString>
#include <QVariantList>

#include <functional>

// Writes a new .vdb file for schema at path. Refuses an existing path and a schema that breaks
// the naming rules; on any failure no file is left behind.
void createVdbFile(const QString& path, const DatabaseSchema& schema,
                   PasswordCost cost = PasswordCost::Interactive);

// Checks the schema's naming rules; throws SchemaInvalid naming the fault.
void validateSchema(const DatabaseSchema& schema);

// The folded form under which user names are compared (case-insensitive, Unicode).
QString foldUserName(const QString& name);

// Where an engine puts the catalogue rows of a table: statements with ? placeholders and values,
// and statements without any.
struct CatalogueWriter {
    std::function<void(const QString& sql, const QVariantList& values)> insert;
    std::function<void(const QString& sql)> exec;
    // Put before every table name the statements name (a server's schema and a point).
    QString tablePrefix;
};

// The catalogue rows of one product table (fields, indexes, index uses, properties) and its
// indexes; the table itself and its vdb_tables row must exist.
void writeTableRows(qint64 tableId, const TableSchema& table, const CatalogueWriter& out);
