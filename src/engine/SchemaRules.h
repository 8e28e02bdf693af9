#pragma once

#include "VdbSchema.h"

#include <QString>
#include <QVariantList>

#include <functional>

// Catalogue tables carry this prefix; product tables may not.
inline constexpr char16_t kReservedPrefix[] = u"vdb_";

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
