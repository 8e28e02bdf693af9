#pragma once

#include "PasswordHash.h"
#include "VdbSchema.h"

#include <QString>

// Writes a new .vdb file for schema at path. Refuses an existing path and a schema that breaks
// the naming rules; on any failure no file is left behind.
void createVdbFile(const QString& path, const DatabaseSchema& schema,
                   PasswordCost cost = PasswordCost::Interactive);

// Checks the schema's naming rules; throws SchemaInvalid naming the fault.
void validateSchema(const DatabaseSchema& schema);

// The folded form under which user names are compared (case-insensitive, Unicode).
QString foldUserName(const QString& name);
